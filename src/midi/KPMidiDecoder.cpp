#include "midi/KPMidiDecoder.h"

namespace {

constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kPercussionChannel = 9; // channel 10, counted from 1
constexpr uint8_t kSustainPedal = 64;
constexpr uint8_t kPedalDownFrom = 64;
constexpr uint32_t kLowestNote = 24;
constexpr uint32_t kHighestNote = 107;

} // namespace

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

void KPMidiDecoder::decode(std::span<const uint8_t> message, QList<KPMidiKeyEvent>& events)
{
    if (message.size() != 3 || message[1] > 0x7F || message[2] > 0x7F || isPercussion(message))
        return;
    const uint8_t kind = message[0] & 0xF0;
    const uint32_t data1 = message[1];
    const uint8_t data2 = message[2];
    if (kind == kControlChange && data1 == kSustainPedal) {
        const bool down = data2 >= kPedalDownFrom;
        if (m_pedalDown && !down)
            liftPedal(events);
        m_pedalDown = down;
        return;
    }
    if ((kind != kNoteOn && kind != kNoteOff) || data1 < kLowestNote || data1 > kHighestNote)
        return;
    if (isPress(message)) {
        m_sustained.reset(data1);
        events.append(KPMidiKeyEvent{data1, data2});
    } else {
        release(data1, events);
    }
}

void KPMidiDecoder::release(uint32_t note, QList<KPMidiKeyEvent>& events)
{
    if (m_pedalDown)
        m_sustained.set(note);
    else
        events.append(KPMidiKeyEvent{note, 0});
}

void KPMidiDecoder::liftPedal(QList<KPMidiKeyEvent>& events)
{
    for (uint32_t note = kLowestNote; note <= kHighestNote; ++note) {
        if (m_sustained.test(note))
            events.append(KPMidiKeyEvent{note, 0});
    }
    m_sustained.reset();
}
