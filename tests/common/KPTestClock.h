#pragma once

#include "platform/KPClock.h"

#include <QAnimationDriver>
#include <QPointer>

#include <cstdint>
#include <vector>

// A clock that moves only when the test advances it. Made, it becomes the current clock and
// drives Qt's animations too; gone, the steady clock is back, and the alarms it still held never
// ring. It starts at the steady clock's time, so timers made before it keep their dates.
class KPTestClock : public KPClock
{
public:
    KPTestClock();
    ~KPTestClock() override;
    KPTestClock(const KPTestClock&) = delete;
    KPTestClock& operator=(const KPTestClock&) = delete;

    TimePoint now() const override { return m_now; }
    QObject* wakeAt(QObject* owner, TimePoint when, Precision precision,
                    std::function<void()> ring) override;

    // Moves time on by `step`, ringing every alarm due on the way in order of time (of making on
    // a tie), each while now() reads its time. Alarms made by a ringing call ring too when due.
    // Animations advance a frame at a time, as on a screen.
    void advance(Duration step);

private:
    class AnimationDriver : public QAnimationDriver
    {
    public:
        explicit AnimationDriver(const KPTestClock& clock) : m_clock(clock) {}
        qint64 elapsed() const override;

    private:
        const KPTestClock& m_clock;
    };

    void ringAlarmsDueBy(TimePoint end);

    struct Pending
    {
        QPointer<QObject> alarm;
        TimePoint when;
        std::uint64_t order;
        std::function<void()> ring;
    };

    TimePoint m_start;
    TimePoint m_now;
    AnimationDriver m_animations{*this};
    std::uint64_t m_made = 0;
    std::vector<Pending> m_pending;
};
