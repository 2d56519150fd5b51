#pragma once

#include "platform/KPClock.h"

#include <QPointer>

#include <cstdint>
#include <vector>

// A clock that moves only when it is told to: offline rendering moves it with the rendered
// sound, tests by hand. It starts at the steady clock's time. Given to the timers that should
// follow it (or made the current clock), its alarms ring from advanceTo(), never by themselves.
class KPManualClock : public KPClock
{
public:
    KPManualClock();

    TimePoint now() const override { return m_now; }
    QObject* wakeAt(QObject* owner, TimePoint when, Precision precision,
                    std::function<void()> ring) override;

    // Moves time on to `end` (never back), ringing every alarm due on the way in order of time
    // (of making on a tie), each while now() reads its time. Alarms made by a ringing call ring
    // too when due.
    void advanceTo(TimePoint end);

private:
    struct Pending
    {
        QPointer<QObject> alarm;
        TimePoint when;
        std::uint64_t order;
        std::function<void()> ring;
    };

    TimePoint m_now;
    std::uint64_t m_made = 0;
    std::vector<Pending> m_pending;
};
