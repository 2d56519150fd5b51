#pragma once

#include <QObject>

#include <chrono>
#include <functional>

// Where the program's timers (KPGridTimer, KPDelayedCalls) read the time and ask to be woken.
// The program runs on the steady clock. A test makes a clock of its own current and advances it
// by hand, so that fades, blinks, beats and playback run without waiting in real time.
//
// An alarm is a QObject owned by the QObject given to wakeAt(): deleting it (or its owner)
// before it rings cancels it. It rings once, from the main run loop, no earlier than its time;
// as it rings it leaves its owner and deletes itself later, so whoever holds it holds it through
// a QPointer, and the call it makes may cancel or make alarms of the same owner.
class KPClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    // Millisecond suits what the eye sees; Exact is for what the ear times (beats, notes).
    enum class Precision { Millisecond, Exact };

    virtual ~KPClock() = default;

    virtual TimePoint now() const = 0;
    virtual QObject* wakeAt(QObject* owner, TimePoint when, Precision precision,
                            std::function<void()> ring) = 0;

    static KPClock& current();
    // nullptr brings back the steady clock.
    static void setCurrent(KPClock* clock);
};
