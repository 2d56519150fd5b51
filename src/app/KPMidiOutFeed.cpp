#include "app/KPMidiOutFeed.h"

#include "midi/KPMidiOutput.h"
#include "performer/KPNotePerformer.h"

KPMidiOutFeed::KPMidiOutFeed(KPNotePerformer& performer, KPMidiOutput& output)
    : m_performer(performer), m_output(output)
{
    m_performer.addListener(this);
}

KPMidiOutFeed::~KPMidiOutFeed()
{
    m_performer.removeListener(this);
}

bool KPMidiOutFeed::sends(KPNoteSource source) const
{
    return source == KPNoteSource::Touch || source == KPNoteSource::ComputerKeys ||
           (source == KPNoteSource::Playback && m_sendsPlayback);
}

void KPMidiOutFeed::setSendsPlayback(bool sends)
{
    m_sendsPlayback = sends;
    if (sends)
        return;
    for (uint32_t note = 0; note < kNoteCount; ++note) {
        if (m_held[size_t(KPNoteSource::Playback)].test(note))
            letGo(KPNoteSource::Playback, note);
    }
}

void KPMidiOutFeed::notePressed(KPNoteSource source, uint32_t note, uint8_t velocity)
{
    if (!sends(source) || note >= kNoteCount)
        return;
    m_held[size_t(source)].set(note);
    m_output.noteOn(note, velocity);
}

void KPMidiOutFeed::noteReleased(KPNoteSource source, uint32_t note, bool /*stillHeld*/)
{
    if (note < kNoteCount && m_held[size_t(source)].test(note))
        letGo(source, note);
}

void KPMidiOutFeed::letGo(KPNoteSource source, uint32_t note)
{
    m_held[size_t(source)].reset(note);
    for (const auto& held : m_held) {
        if (held.test(note))
            return;
    }
    m_output.noteOff(note);
}

void KPMidiOutFeed::sustainChanged(bool down)
{
    m_output.setSustain(down);
}
