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
    void decode(std::span<const uint8_t> message, QList<KPMidiKeyEvent>& events);
    // A message that decode turns into a press, whatever came before it: what an output may
    // sound on its own thread before the message is decoded.
    static bool isPress(std::span<const uint8_t> message);

private:
    // On channel 10.
    static bool isPercussion(std::span<const uint8_t> message);
    void release(uint32_t note, QList<KPMidiKeyEvent>& events);
    void liftPedal(QList<KPMidiKeyEvent>& events);

    bool m_pedalDown = false;
    // Notes let go while the pedal holds them.
    std::bitset<128> m_sustained;
};
