#include "screen/KPMetronome.h"

#include "audio/KPSystemSound.h"
#include "platform/KPBundle.h"

#include <algorithm>

KPMetronome::KPMetronome(KPSystemSound& sound, QObject* parent) : QObject(parent), m_sound(sound) {}

void KPMetronome::changeTempo(uint32_t beatsPerMinute)
{
    m_beatsPerMinute = beatsPerMinute;
    if (m_beating) {
        stopMetronome();
        startMetronome();
    }
}

double KPMetronome::beatInterval(uint32_t beatsPerMinute)
{
    return double(1.0f / (float(beatsPerMinute) / 60.0f));
}

void KPMetronome::startMetronome()
{
    if (m_beating)
        return;
    if (m_metronomeTimer)
        m_metronomeTimer->deleteLater();
    m_metronomeTimer = new KPGridTimer(
        KPGridTimer::Seconds(beatInterval(m_beatsPerMinute)), [this] { playBeat(); }, this);
    m_metronomeTimer->schedule();
    // The click's output opens now, an interval before the first click needs it.
    m_sound.prepare();
    m_beating = true;
}

void KPMetronome::stopMetronome()
{
    if (!m_beating)
        return;
    m_sound.stopLoop();
    m_metronomeTimer->invalidate();
    m_metronomeTimer->deleteLater();
    m_metronomeTimer = nullptr;
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

// The first beat starts one looping beat of sound, which gives every later click exactly an
// interval after the one before, to the sample, whatever the timer's lateness; the timer only
// tells the beats.
void KPMetronome::playBeat()
{
    if (!m_sound.isLooping())
        m_sound.startLoop(
            KPBundle::pathForResource(QStringLiteral("metronome"), QStringLiteral("mp3")),
            beatInterval(m_beatsPerMinute));
    emit beatPlayed();
}
