#include "screen/KPMetronome.h"

#include "audio/KPSystemSound.h"
#include "platform/KPBundle.h"

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

// The refusal lies one step past each end: through the buttons, which the piano view disables
// at the ends, the tempo stays between 50 and 350.
bool KPMetronome::slower()
{
    const uint32_t tempo = m_beatsPerMinute - tempoStep;
    if (tempo < minimumTempo - tempoStep)
        return false;
    changeTempo(tempo);
    return true;
}

bool KPMetronome::faster()
{
    const uint32_t tempo = m_beatsPerMinute + tempoStep;
    if (tempo > maximumTempo + tempoStep)
        return false;
    changeTempo(tempo);
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
