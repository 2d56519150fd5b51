#include "platform/KPGridTimer.h"

KPGridTimer::KPGridTimer(Seconds interval, std::function<void()> action, QObject* parent,
                         KPClock* clock)
    : QObject(parent), m_clock(clock), m_interval(interval), m_action(std::move(action)),
      m_fireDate(this->clock().now() + std::chrono::duration_cast<Clock::duration>(interval))
{}

void KPGridTimer::schedule()
{
    if (!m_valid || m_scheduled)
        return;
    m_scheduled = true;
    arm();
}

void KPGridTimer::invalidate()
{
    m_valid = false;
    m_scheduled = false;
    delete m_alarm;
}

KPGridTimer::Clock::time_point KPGridTimer::nextFireDate(Clock::time_point fireDate,
                                                         Seconds interval, Clock::time_point now)
{
    const auto step = std::chrono::duration_cast<Clock::duration>(interval);
    if (step <= Clock::duration::zero())
        return now;
    auto next = fireDate + step;
    if (next <= now) {
        const auto missed = (now - next) / step + 1;
        next += missed * step;
    }
    return next;
}

void KPGridTimer::arm()
{
    m_alarm = clock().wakeAt(this, m_fireDate, KPClock::Precision::Exact, [this] { fire(); });
}

void KPGridTimer::fire()
{
    // The alarm that rang is spent; the action may invalidate the timer or schedule it anew.
    m_alarm = nullptr;
    m_fireDate = nextFireDate(m_fireDate, m_interval, clock().now());
    m_action();
    if (m_valid && m_scheduled && !m_alarm)
        arm();
}
