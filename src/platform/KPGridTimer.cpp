#include "platform/KPGridTimer.h"

#include <cmath>
#include <thread>

namespace {
// Qt timers count whole milliseconds; the last part of a wait is spun so firings land on the
// grid to well under a millisecond.
constexpr auto kSpinLimit = std::chrono::milliseconds(2);
} // namespace

KPGridTimer::KPGridTimer(Seconds interval, std::function<void()> action, QObject* parent)
    : QObject(parent), m_interval(interval), m_action(std::move(action)),
      m_fireDate(Clock::now() + std::chrono::duration_cast<Clock::duration>(interval))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &KPGridTimer::onTimeout);
}

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
    m_timer.stop();
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
    const auto wait = m_fireDate - Clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait);
    m_timer.start(std::max(ms - std::chrono::milliseconds(1), std::chrono::milliseconds(0)));
}

void KPGridTimer::onTimeout()
{
    if (!m_valid || !m_scheduled)
        return;
    auto now = Clock::now();
    if (m_fireDate - now > kSpinLimit) {
        arm();
        return;
    }
    while (now < m_fireDate) {
        std::this_thread::yield();
        now = Clock::now();
    }
    m_fireDate = nextFireDate(m_fireDate, m_interval, now);
    m_action();
    if (m_valid && m_scheduled)
        arm();
}
