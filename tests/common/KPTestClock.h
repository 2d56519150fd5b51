#pragma once

#include "platform/KPManualClock.h"

#include <QAnimationDriver>

// A clock that moves only when the test advances it. Made, it becomes the current clock and
// drives Qt's animations too; gone, the steady clock is back, and the alarms it still held never
// ring. It starts at the steady clock's time, so timers made before it keep their dates.
class KPTestClock : public KPManualClock
{
public:
    KPTestClock();
    ~KPTestClock() override;
    KPTestClock(const KPTestClock&) = delete;
    KPTestClock& operator=(const KPTestClock&) = delete;

    // Moves time on by `step`, ringing every alarm due on the way in order of time (of making on
    // a tie), each while now() reads its time. Alarms made by a ringing call ring too when due.
    // Animations advance a frame at a time, as on a screen.
    void advance(Duration step);

private:
    class AnimationDriver : public QAnimationDriver
    {
    public:
        explicit AnimationDriver(const KPTestClock& clock) : m_clock(clock) {}
        // Milliseconds since the driver started, as Qt's own driver counts them.
        qint64 elapsed() const override;

    protected:
        void start() override;

    private:
        const KPTestClock& m_clock;
        TimePoint m_startedAt;
    };

    AnimationDriver m_animations{*this};
};
