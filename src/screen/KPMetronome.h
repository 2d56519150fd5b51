#pragma once

#include "platform/KPClock.h"

#include <QObject>
#include <QPointer>

#include <cstdint>

class KPSystemSound;

// The metronome: a tempo of 50 to 350 beats per minute in steps of 10 or of 1 (120 to begin
// with), and a click through the system sound while it runs. The beats keep a grid from the
// start (its first point, one interval after the start, is the first click); the click loops
// one interval long from that frame of the output, so the clicks keep time to the sample. A tempo
// change while it runs takes effect from the next beat: it comes one new interval after the last
// one (at once if that has passed already), and the grid goes on from there; the clicks of the old
// tempo stop before their next one. The piano view shows it with its buttons and label.
class KPMetronome : public QObject
{
    Q_OBJECT

public:
    static constexpr uint32_t minimumTempo = 50;
    static constexpr uint32_t maximumTempo = 350;
    static constexpr uint32_t tempoStep = 10;
    static constexpr uint32_t initialTempo = 120;

    explicit KPMetronome(KPSystemSound& sound, QObject* parent = nullptr);

    bool beating() const { return m_beating; }
    uint32_t beatsPerMinute() const { return m_beatsPerMinute; }
    // Seconds between clicks at the tempo, figured in 32-bit floats.
    static double beatInterval(uint32_t beatsPerMinute);
    // While it runs: when the next beat comes, on the program's clock.
    KPClock::TimePoint nextBeat() const { return m_nextBeat; }

    void startMetronome();
    void stopMetronome();
    // One step down or up: the designed 10 beats, or 1 for a fine step. From inside the range a
    // step stops at the end it would pass; from an end, ten more beats are allowed once, a fine
    // step not at all. A refused step changes nothing: the answer tells whether the tempo changed.
    bool slower(uint32_t step = tempoStep);
    bool faster(uint32_t step = tempoStep);

signals:
    // A beat came (the click sounds on it, on the output's clock).
    void beatPlayed();

private:
    void changeTempo(uint32_t beatsPerMinute);
    KPClock::Duration interval() const;
    // The beats are told from `at` on, one interval apart.
    void tellBeatsFrom(KPClock::TimePoint at);
    void tellBeat();

    KPSystemSound& m_sound;
    bool m_beating = false;
    uint32_t m_beatsPerMinute = initialTempo;
    KPClock::TimePoint m_nextBeat{};
    QPointer<QObject> m_beatAlarm;
};
