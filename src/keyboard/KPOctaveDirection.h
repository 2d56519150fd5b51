#pragma once

#include <cstdint>

// Which way an octave move goes; the octave buttons carry it as their tag.
enum class KPOctaveDirection : uint32_t {
    Higher = 0,
    Lower = 1,
};
