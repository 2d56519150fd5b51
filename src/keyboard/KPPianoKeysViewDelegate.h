#pragma once

#include <cstdint>

// Receives what the keyboard plays, by key index (0 to 83). The recordings manager replays
// recordings through the same three calls.
class KPPianoKeysViewDelegate
{
public:
    virtual ~KPPianoKeysViewDelegate() = default;

    virtual void playKey(uint32_t key) = 0;
    // A press at a MIDI velocity (1 to 127, full = 127) from a MIDI keyboard; played as a
    // plain press unless the delegate tells velocities apart.
    virtual void playKey(uint32_t key, uint8_t /*velocity*/) { playKey(key); }
    virtual void stopKey(uint32_t key) = 0;
    virtual void stopAll() = 0;
};
