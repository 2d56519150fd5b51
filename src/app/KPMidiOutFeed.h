#pragma once

#include "performer/KPNoteListener.h"

#include <array>
#include <bitset>

class KPMidiOutput;
class KPNotePerformer;

// What the player plays, sent out through the MIDI output: the notes of touches, the mouse and
// the computer keys with their velocities and the pedal, and a playback's notes when asked
// (off at first). A MIDI keyboard's notes are not sent back out: it has a port of its own. A note
// goes out once it sounds, and its end once no source sent holds it any more.
class KPMidiOutFeed : public KPNoteListener
{
public:
    // Listens to `performer` until it goes; neither is owned, both outlive it.
    KPMidiOutFeed(KPNotePerformer& performer, KPMidiOutput& output);
    ~KPMidiOutFeed() override;
    KPMidiOutFeed(const KPMidiOutFeed&) = delete;
    KPMidiOutFeed& operator=(const KPMidiOutFeed&) = delete;

    // Turned off during a playback, the notes it sent end.
    void setSendsPlayback(bool sends);
    bool sendsPlayback() const { return m_sendsPlayback; }

    void notePressed(KPNoteSource source, uint32_t note, uint8_t velocity) override;
    void noteReleased(KPNoteSource source, uint32_t note, bool stillHeld) override;
    void sustainChanged(bool down) override;

private:
    static constexpr uint32_t kNoteCount = 128;

    bool sends(KPNoteSource source) const;
    void letGo(KPNoteSource source, uint32_t note);

    KPNotePerformer& m_performer;
    KPMidiOutput& m_output;
    bool m_sendsPlayback = false;
    // The notes each source sent holds.
    std::array<std::bitset<kNoteCount>, kNoteSourceCount> m_held;
};
