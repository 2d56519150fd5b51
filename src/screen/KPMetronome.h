#pragma once

#include "platform/KPGridTimer.h"

#include <QObject>
#include <QPointer>

#include <cstdint>

class KPSystemSound;

// The metronome: a tempo of 50 to 350 beats per minute in steps of 10 or of 1 (120 to begin
// with), and
// a click through the system sound while it runs. A grid timer tells the beats; its first beat
// starts the click looping one interval long, so the clicks keep time to the sample. The first
// click comes one interval after the start; a tempo change while it runs restarts it, so the
// next click comes one new interval after the change. The piano view shows it with its buttons
// and label.
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
    const KPGridTimer* metronomeTimer() const { return m_metronomeTimer; }

    void startMetronome();
    void stopMetronome();
    // One step down or up: the designed 10 beats, or 1 for a fine step. From inside the range a
    // step stops at the end it would pass; from an end, ten more beats are allowed once, a fine
    // step not at all. A refused step changes nothing: the answer tells whether the tempo changed.
    bool slower(uint32_t step = tempoStep);
    bool faster(uint32_t step = tempoStep);
    void playBeat();

signals:
    // One click was played.
    void beatPlayed();

private:
    void changeTempo(uint32_t beatsPerMinute);

    KPSystemSound& m_sound;
    bool m_beating = false;
    uint32_t m_beatsPerMinute = initialTempo;
    QPointer<KPGridTimer> m_metronomeTimer;
};
