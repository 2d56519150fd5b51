#pragma once

#include "recordings/KPPianoKeyAction.h"

#include <cstdint>

class KPPianoKeysViewDelegate;

// What the piano view asks of the recordings: whether one is being made, starting and ending it,
// adding key events to it, and stopping playback. The recordings manager answers it; without
// one, nothing is recorded and the record and playlist buttons stay off.
class KPRecordingsControl
{
public:
    virtual ~KPRecordingsControl() = default;

    virtual bool recording() const = 0;
    virtual void startRecording() = 0;
    virtual void stopRecording() = 0;
    // A key event: the key index, how it changed, and a press's MIDI velocity (full for touches,
    // computer keys and releases).
    virtual void addRecordingAction(uint32_t keyIndex, KPRecordedKeyState state,
                                    uint8_t velocity) = 0;
    virtual void stopPlayback() = 0;
    // Playback comes back through the same operations as the keyboard.
    virtual void setKeysDelegate(KPPianoKeysViewDelegate* delegate) = 0;
};
