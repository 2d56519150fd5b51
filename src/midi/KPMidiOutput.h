#pragma once

#include "midi/KPAlsaMidiSystem.h"
#include "midi/KPJackMidiWriter.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

class KPJackDevice;
class RtMidiOut;
struct _jack_port;

// The piano as a controller of other programs: an output port on the ALSA sequencer ("Touch
// Piano", a client of its own, through RtMidi) and, while the sound goes to our JACK output, one
// on that output's client ("Touch Piano output:Touch Piano out", beside its input port), written
// in the output's own cycle. Notes go out on channel 1 with their velocities, the pedal as
// controller 64. A note struck again while it sounds is ended first, so that no receiver is left
// with a voice it is never told to end. Main thread only, but for the JACK writer's cycle.
class KPMidiOutput
{
public:
    static constexpr const char* kPortName = "Touch Piano";
    static constexpr const char* kJackPortName = "Touch Piano out";

    KPMidiOutput();
    ~KPMidiOutput();
    KPMidiOutput(const KPMidiOutput&) = delete;
    KPMidiOutput& operator=(const KPMidiOutput&) = delete;

    // Opens the ALSA port when the sequencer is there.
    void start();
    // The JACK output the sound goes to now, or null: the JACK port moves onto its client, and
    // what waited for the old one is forgotten.
    void setJackOutput(std::shared_ptr<KPJackDevice> output);

    void noteOn(uint32_t note, uint8_t velocity);
    void noteOff(uint32_t note);
    void setSustain(bool down);
    bool isSounding(uint32_t note) const { return note < kNoteCount && m_sounding.test(note); }

    // What the JACK port writes: for whoever knows the output frame a message sounds at.
    KPJackMidiWriter& jackWriter() { return m_jackWriter; }

private:
    static constexpr uint32_t kNoteCount = 128;

    void send(std::span<const uint8_t> message);
    void closeJack();
    static void writeCycle(void* self, uint32_t frames, int64_t firstFrame);

    KPAlsaMidiSystem m_alsa;
    std::unique_ptr<RtMidiOut> m_alsaPort;
    std::shared_ptr<KPJackDevice> m_jackOutput;
    _jack_port* m_jackPort = nullptr;
    KPJackMidiWriter m_jackWriter;
    std::bitset<kNoteCount> m_sounding;
    bool m_reportedFull = false;
};
