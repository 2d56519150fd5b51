#pragma once

#include <cstdint>

// Receives what the keys view's touches play, by key index (0 to 83). In the program this is
// KPTouchPlayer, where the key indexes become notes for the note performer.
class KPPianoKeysViewDelegate
{
public:
    virtual ~KPPianoKeysViewDelegate() = default;

    virtual void playKey(uint32_t key) = 0;
    // A press at a velocity (1 to 127, full = 127), from where the key was struck when touch
    // dynamics are on; played as a plain press unless the delegate tells velocities apart.
    virtual void playKey(uint32_t key, uint8_t /*velocity*/) { playKey(key); }
    virtual void stopKey(uint32_t key) = 0;
    virtual void stopAll() = 0;
};
