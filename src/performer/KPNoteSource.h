#pragma once

#include <cstddef>
#include <cstdint>

// Who plays a note. Each source holds its own notes: one letting go never ends another's.
enum class KPNoteSource : uint8_t {
    Touch,
    ComputerKeys,
    Midi,
    Playback,
};

inline constexpr size_t kNoteSourceCount = 4;
