#include "keyboard/KPComputerKeyMap.h"

#include <array>
#include <utility>

namespace {

// xkb key codes are the kernel's evdev codes moved up by 8.
constexpr uint32_t kEvdevOffset = 8;

// (evdev code, semitone): the lower row from Z, then the upper row from Q.
constexpr std::array<std::pair<uint32_t, uint32_t>, 37> kRows = {{
    {44, 0},  // Z
    {31, 1},  // S
    {45, 2},  // X
    {32, 3},  // D
    {46, 4},  // C
    {47, 5},  // V
    {34, 6},  // G
    {48, 7},  // B
    {35, 8},  // H
    {49, 9},  // N
    {36, 10}, // J
    {50, 11}, // M
    {51, 12}, // comma
    {38, 13}, // L
    {52, 14}, // period
    {39, 15}, // semicolon
    {53, 16}, // slash
    {16, 12}, // Q
    {3, 13},  // 2
    {17, 14}, // W
    {4, 15},  // 3
    {18, 16}, // E
    {19, 17}, // R
    {6, 18},  // 5
    {20, 19}, // T
    {7, 20},  // 6
    {21, 21}, // Y
    {8, 22},  // 7
    {22, 23}, // U
    {23, 24}, // I
    {10, 25}, // 9
    {24, 26}, // O
    {11, 27}, // 0
    {25, 28}, // P
    {26, 29}, // [
    {13, 30}, // =
    {27, 31}, // ]
}};

} // namespace

std::optional<uint32_t> KPComputerKeyMap::semitoneForScanCode(uint32_t scanCode)
{
    for (const auto& [evdev, semitone] : kRows) {
        if (evdev + kEvdevOffset == scanCode)
            return semitone;
    }
    return std::nullopt;
}
