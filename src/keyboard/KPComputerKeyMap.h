#pragma once

#include <cstdint>
#include <optional>

// Which note a key of the computer keyboard plays, by its physical place (the X11/xkb key code,
// evdev code + 8, that Qt gives as the native scan code), so every layout plays the same
// places. Two rows in the usual manner of desktop pianos: Z S X D C ... / (slash) from the
// leftmost C shown, and Q 2 W 3 E ... ] one octave higher.
class KPComputerKeyMap
{
public:
    // Semitones above the leftmost C shown; nothing for a key that plays no note.
    static std::optional<uint32_t> semitoneForScanCode(uint32_t scanCode);
};
