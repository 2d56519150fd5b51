#include "midi/KPMidiDecoder.h"

bool KPMidiDecoder::isPress(std::span<const uint8_t> message)
{
    return message.size() == 3 && (message[0] & 0xF0) == kNoteOn && !isPercussion(message) &&
           message[1] >= kLowestNote && message[1] <= kHighestNote && message[2] > 0 &&
           message[2] <= 0x7F;
}

bool KPMidiDecoder::isPercussion(std::span<const uint8_t> message)
{
    return !message.empty() && (message[0] & 0x0F) == kPercussionChannel;
}
