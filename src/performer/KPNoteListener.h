#pragma once

#include "performer/KPNoteSource.h"

#include <cstdint>

// Told by the performer of every press and release it plays, whoever played it, once each, when
// it falls due: the key pictures and the recorder. Notes are MIDI note numbers.
class KPNoteListener
{
public:
    virtual ~KPNoteListener() = default;

    virtual void notePressed(KPNoteSource source, uint32_t note, uint8_t velocity) = 0;
    // `stillHeld`: another source holds the note still, and it sounds on.
    virtual void noteReleased(KPNoteSource source, uint32_t note, bool stillHeld) = 0;
    // The sustain pedal of the players without one of their own went down or up.
    virtual void sustainChanged(bool /*down*/) {}
};
