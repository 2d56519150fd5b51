#pragma once

#include <QList>

#include <bitset>
#include <cstdint>
#include <span>

// What a MIDI message does to the piano's keys: a press with its velocity, or a release
// (velocity 0).
struct KPMidiKeyEvent
{
    uint32_t note = 0;
    uint8_t velocity = 0;

    bool isRelease() const { return velocity == 0; }
    friend bool operator==(const KPMidiKeyEvent&, const KPMidiKeyEvent&) = default;
};

// Turns complete MIDI messages (RtMidi resolves running status) into key presses and releases,
// on every channel but the percussion channel (10), which is left out as an imported file's is:
// its notes are drums, not keys. Note-on for notes 24 to 107 presses; note-off, or note-on with
// velocity 0, releases. The sustain pedal (controller 64, down from value 64) holds the releases
// until it lifts; a note struck again meanwhile waits for its own release. Other notes and messages
// change nothing.
class KPMidiDecoder
{
public:
    void decode(std::span<const uint8_t> message, QList<KPMidiKeyEvent>& events)
    {
        decode(message, [&events](const KPMidiKeyEvent& event) { events.append(event); });
    }
    // Calls tell(const KPMidiKeyEvent&) for each press and release, and allocates nothing: an
    // audio thread may decode too.
    template <typename Tell> void decode(std::span<const uint8_t> message, Tell&& tell);
    // A message that decode turns into a press, whatever came before it: what an output may
    // sound on its own thread before the message is decoded.
    static bool isPress(std::span<const uint8_t> message);

private:
    static constexpr uint8_t kNoteOff = 0x80;
    static constexpr uint8_t kNoteOn = 0x90;
    static constexpr uint8_t kControlChange = 0xB0;
    static constexpr uint8_t kSustainPedal = 64;
    static constexpr uint8_t kPedalDownFrom = 64;
    static constexpr uint32_t kLowestNote = 24;
    static constexpr uint32_t kHighestNote = 107;
    static constexpr uint8_t kPercussionChannel = 9; // channel 10, counted from 1

    // On channel 10.
    static bool isPercussion(std::span<const uint8_t> message);

    bool m_pedalDown = false;
    // Notes let go while the pedal holds them.
    std::bitset<128> m_sustained;
};

template <typename Tell> void KPMidiDecoder::decode(std::span<const uint8_t> message, Tell&& tell)
{
    if (message.size() != 3 || message[1] > 0x7F || message[2] > 0x7F || isPercussion(message))
        return;
    const uint8_t kind = message[0] & 0xF0;
    const uint32_t data1 = message[1];
    const uint8_t data2 = message[2];
    if (kind == kControlChange && data1 == kSustainPedal) {
        const bool down = data2 >= kPedalDownFrom;
        if (m_pedalDown && !down) {
            for (uint32_t note = kLowestNote; note <= kHighestNote; ++note) {
                if (m_sustained.test(note))
                    tell(KPMidiKeyEvent{note, 0});
            }
            m_sustained.reset();
        }
        m_pedalDown = down;
        return;
    }
    if ((kind != kNoteOn && kind != kNoteOff) || data1 < kLowestNote || data1 > kHighestNote)
        return;
    if (isPress(message)) {
        m_sustained.reset(data1);
        tell(KPMidiKeyEvent{data1, data2});
    } else if (m_pedalDown) {
        m_sustained.set(data1);
    } else {
        tell(KPMidiKeyEvent{data1, 0});
    }
}
