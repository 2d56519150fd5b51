#pragma once

#include "keyboard/KPOctaveDirection.h"

#include <cstdint>

// The keyboard as played from outside the screen (computer keys, MIDI): a press shows the key
// pressed and plays it at a MIDI velocity, a release lets it go, as a finger would.
class KPPlayableKeyboard
{
public:
    static constexpr uint8_t kFullVelocity = 127;

    virtual ~KPPlayableKeyboard() = default;

    virtual void pressKey(uint32_t key, uint8_t velocity) = 0;
    virtual void releaseKey(uint32_t key) = 0;
    // One octave either way, as the octave buttons do.
    virtual void changeOctave(KPOctaveDirection direction) = 0;
    // The key index of the leftmost C on screen, where the computer keys' rows begin.
    virtual uint32_t leftmostShownC() const = 0;
};
