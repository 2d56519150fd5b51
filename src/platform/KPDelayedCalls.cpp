#include "platform/KPDelayedCalls.h"

#include "platform/KPClock.h"

namespace {
constexpr auto kAlarmName = "KPDelayedCall";
}

void KPDelayedCalls::perform(QObject* target, std::chrono::milliseconds delay,
                             std::function<void()> call)
{
    KPClock& clock = KPClock::current();
    clock.wakeAt(target, clock.now() + delay, KPClock::Precision::Millisecond, std::move(call))
        ->setObjectName(kAlarmName);
}

void KPDelayedCalls::cancelPreviousPerformRequests(QObject* target)
{
    const auto alarms = target->findChildren<QObject*>(kAlarmName, Qt::FindDirectChildrenOnly);
    qDeleteAll(alarms);
}

int KPDelayedCalls::pendingCount(const QObject* target)
{
    return int(target->findChildren<QObject*>(kAlarmName, Qt::FindDirectChildrenOnly).size());
}
