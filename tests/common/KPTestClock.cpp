#include "KPTestClock.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
// Animations step as on a 60 Hz screen.
constexpr auto kFrame = std::chrono::microseconds(16667);
} // namespace

qint64 KPTestClock::AnimationDriver::elapsed() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.m_now - m_clock.m_start)
        .count();
}

KPTestClock::KPTestClock() : m_start(std::chrono::steady_clock::now()), m_now(m_start)
{
    KPClock::setCurrent(this);
    m_animations.install();
}

KPTestClock::~KPTestClock()
{
    m_animations.uninstall();
    KPClock::setCurrent(nullptr);
}

QObject* KPTestClock::wakeAt(QObject* owner, TimePoint when, Precision, std::function<void()> ring)
{
    auto* alarm = new QObject(owner);
    m_pending.push_back({alarm, when, m_made++, std::move(ring)});
    return alarm;
}

void KPTestClock::advance(Duration step)
{
    const TimePoint end = m_now + step;
    do {
        // Animations started since the last frame join the animation timer through posted calls.
        QCoreApplication::sendPostedEvents();
        const TimePoint frameEnd = std::min(end, m_now + kFrame);
        ringAlarmsDueBy(frameEnd);
        m_now = frameEnd;
        m_animations.advance();
    } while (m_now < end);
}

void KPTestClock::ringAlarmsDueBy(TimePoint end)
{
    for (;;) {
        std::erase_if(m_pending, [](const Pending& p) { return p.alarm.isNull(); });
        const auto next = std::min_element(
            m_pending.begin(), m_pending.end(), [](const Pending& a, const Pending& b) {
                return a.when != b.when ? a.when < b.when : a.order < b.order;
            });
        if (next == m_pending.end() || next->when > end)
            return;
        Pending due = std::move(*next);
        m_pending.erase(next);
        m_now = std::max(m_now, due.when);
        due.alarm->setParent(nullptr);
        due.alarm->deleteLater();
        due.ring();
    }
}
