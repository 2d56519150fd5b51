#pragma once

#include <cstdint>

// How a recorded key event changed its key. On playback every value other than Pressed is
// taken as a release.
enum class KPRecordedKeyState : int32_t {
    Pressed = 0,
    Released = 1,
};

// One recorded key event: which key (index 0-83, the key itself, not its place on the screen),
// pressed or released, and the seconds from the recording's first event. Made by the piano view
// while recording and stamped by the recordings manager; never changed afterwards. A press from
// a MIDI keyboard also keeps its velocity (1 to 127); touches and computer keys press at full.
struct KPPianoKeyAction
{
    static constexpr uint8_t kFullVelocity = 127;

    int32_t index = 0;
    KPRecordedKeyState state = KPRecordedKeyState::Pressed;
    float interval = 0.0f;
    uint8_t velocity = kFullVelocity;

    bool isRelease() const { return state != KPRecordedKeyState::Pressed; }
    friend bool operator==(const KPPianoKeyAction&, const KPPianoKeyAction&) = default;
};
