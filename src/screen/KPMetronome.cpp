#include "screen/KPMetronome.h"

#include "audio/KPSystemSound.h"
#include "platform/KPBundle.h"

#include <algorithm>
#include <chrono>

KPMetronome::KPMetronome(KPSystemSound& sound, QObject* parent) : QObject(parent), m_sound(sound) {}

double KPMetronome::beatInterval(uint32_t beatsPerMinute)
{
    return double(1.0f / (float(beatsPerMinute) / 60.0f));
}

KPClock::Duration KPMetronome::interval() const
{
    return std::chrono::duration_cast<KPClock::Duration>(
        std::chrono::duration<double>(beatInterval(m_beatsPerMinute)));
}

// The last beat is the one before the next (before the first, the start stands for it); beats
// the run loop has not told yet have sounded all the same.
void KPMetronome::changeTempo(uint32_t beatsPerMinute)
{
    const KPClock::Duration before = interval();
    m_beatsPerMinute = beatsPerMinute;
    if (!m_beating)
        return;
    const KPClock::TimePoint now = KPClock::current().now();
    KPClock::TimePoint next = m_nextBeat;
    while (next <= now)
        next += before;
    // The sound keeps the same rule in the output's frames.
    m_sound.changeLoopInterval(beatInterval(m_beatsPerMinute));
    tellBeatsFrom(std::max(next - before + interval(), now));
}

void KPMetronome::startMetronome()
{
    if (m_beating)
        return;
    m_beating = true;
    const KPClock::TimePoint first = KPClock::current().now() + interval();
    m_sound.startLoop(KPBundle::pathForResource(QStringLiteral("metronome"), QStringLiteral("mp3")),
                      beatInterval(m_beatsPerMinute), first);
    tellBeatsFrom(first);
}

void KPMetronome::tellBeatsFrom(KPClock::TimePoint at)
{
    m_nextBeat = at;
    delete m_beatAlarm;
    m_beatAlarm = KPClock::current().wakeAt(this, m_nextBeat, KPClock::Precision::Exact,
                                            [this] { tellBeat(); });
}

// The beats are told on the program's clock, each on the grid: a late one does not move the next.
void KPMetronome::tellBeat()
{
    m_nextBeat += interval();
    m_beatAlarm = KPClock::current().wakeAt(this, m_nextBeat, KPClock::Precision::Exact,
                                            [this] { tellBeat(); });
    emit beatPlayed();
}

void KPMetronome::stopMetronome()
{
    if (!m_beating)
        return;
    m_sound.stopLoop();
    delete m_beatAlarm;
    m_beating = false;
}

// Through the buttons, which the piano view disables at the ends, the tempo stays between 50 and
// 350; asked directly at an end, the designed refusal lies one step of ten past it.
bool KPMetronome::slower(uint32_t step)
{
    if (m_beatsPerMinute > minimumTempo) {
        changeTempo(m_beatsPerMinute - std::min(step, m_beatsPerMinute - minimumTempo));
        return true;
    }
    if (step != tempoStep || m_beatsPerMinute - step < minimumTempo - tempoStep)
        return false;
    changeTempo(m_beatsPerMinute - step);
    return true;
}

bool KPMetronome::faster(uint32_t step)
{
    if (m_beatsPerMinute < maximumTempo) {
        changeTempo(m_beatsPerMinute + std::min(step, maximumTempo - m_beatsPerMinute));
        return true;
    }
    if (step != tempoStep || m_beatsPerMinute + step > maximumTempo + tempoStep)
        return false;
    changeTempo(m_beatsPerMinute + step);
    return true;
}
