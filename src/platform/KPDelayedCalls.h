#pragma once

#include <QObject>

#include <chrono>
#include <functional>

// "Perform after a delay" on the main run loop, with "cancel every pending call of this target".
// A pending call belongs to its target and dies with it. Time comes from KPClock::current().
class KPDelayedCalls
{
public:
    static void perform(QObject* target, std::chrono::milliseconds delay,
                        std::function<void()> call);
    static void cancelPreviousPerformRequests(QObject* target);
    static int pendingCount(const QObject* target);
};
