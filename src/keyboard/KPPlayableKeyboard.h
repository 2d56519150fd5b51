#pragma once

#include "keyboard/KPOctaveDirection.h"

#include <cstdint>

// The keyboard as the computer keys see it: where its rows begin and how it moves. What they
// play goes through the note performer.
class KPPlayableKeyboard
{
public:
    // The velocity of a touch or a computer key: full.
    static constexpr uint8_t kFullVelocity = 127;

    virtual ~KPPlayableKeyboard() = default;

    // One octave either way, as the octave buttons do.
    virtual void changeOctave(KPOctaveDirection direction) = 0;
    // The key index of the leftmost C on screen, where the computer keys' rows begin.
    virtual uint32_t leftmostShownC() const = 0;
};
