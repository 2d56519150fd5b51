#pragma once

#include "platform/KPClock.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

// A repeating timer whose firings keep to a fixed grid: it is due one interval after it was made
// and then every interval after that. Scheduled after its due time, it fires at once and then
// keeps to its grid; firings that were missed are not made up. Made unscheduled: schedule() adds
// it to the main run loop, invalidate() removes it for good. Time comes from the clock it was
// given, else from KPClock::current(); firings are exact (KPClock::Precision::Exact).
//
// The action may invalidate the timer. A timer must not be destroyed from inside its own action;
// use deleteLater() there.
class KPGridTimer : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    using Seconds = std::chrono::duration<double>;

    KPGridTimer(Seconds interval, std::function<void()> action, QObject* parent = nullptr,
                KPClock* clock = nullptr);

    void schedule();
    void invalidate();

    bool isValid() const { return m_valid; }
    bool isScheduled() const { return m_scheduled; }
    Seconds interval() const { return m_interval; }
    Clock::time_point fireDate() const { return m_fireDate; }

    // The first point of the grid (fireDate + k * interval, k >= 1) that lies after now.
    static Clock::time_point nextFireDate(Clock::time_point fireDate, Seconds interval,
                                          Clock::time_point now);

private:
    KPClock& clock() const { return m_clock ? *m_clock : KPClock::current(); }
    void arm();
    void fire();

    KPClock* m_clock;
    Seconds m_interval;
    std::function<void()> m_action;
    Clock::time_point m_fireDate;
    QPointer<QObject> m_alarm;
    bool m_valid = true;
    bool m_scheduled = false;
};
