#include "KPTestClock.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
// Animations step as on a 60 Hz screen.
constexpr auto kFrame = std::chrono::microseconds(16667);
} // namespace

qint64 KPTestClock::AnimationDriver::elapsed() const
{
    if (!isRunning())
        return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.now() - m_startedAt)
        .count();
}

void KPTestClock::AnimationDriver::start()
{
    m_startedAt = m_clock.now();
    QAnimationDriver::start();
}

KPTestClock::KPTestClock()
{
    KPClock::setCurrent(this);
    m_animations.install();
}

KPTestClock::~KPTestClock()
{
    m_animations.uninstall();
    KPClock::setCurrent(nullptr);
}

void KPTestClock::advance(Duration step)
{
    const TimePoint end = now() + step;
    do {
        // Animations started since the last frame join the animation timer through posted calls.
        QCoreApplication::sendPostedEvents();
        advanceTo(std::min(end, now() + kFrame));
        QCoreApplication::sendPostedEvents();
        m_animations.advance();
    } while (now() < end);
}
