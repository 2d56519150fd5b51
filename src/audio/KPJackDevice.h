#pragma once

#include "audio/KPHostDevice.h"

#include <array>
#include <atomic>
#include <memory>
#include <vector>

struct _jack_client;
struct _jack_port;

// Output to a JACK server with the mix made inside the server's cycle: OpenAL Soft's loopback
// device rendered in our JACK client's process callback, straight into its two output ports.
// OpenAL Soft's own JACK backend (1.19) mixes ahead on a thread of its own into a ring buffer,
// so a note waits there a whole period more. The ports are connected to the first physical
// outputs, as that backend does. The mix is limited below full scale: 32 voices at full velocity
// reach +8 to +15 dBFS, which the sound card's integer samples would clip.
//
// The frame clock is tied to the cycle's start, and an event placed by time lands one period
// after it, so that it is never already mixed. A cycle event reader (a MIDI port) gives events
// of the cycle being rendered, each at its own frame of that cycle.
class KPJackDevice : public KPHostDevice
{
public:
    static constexpr const char* kClientName = "Touch Piano output";

    // Null when no JACK server runs (one is never started) or the client can't be made.
    // `serverGone` is called on a JACK thread if the server goes away.
    [[nodiscard]] static std::unique_ptr<KPJackDevice> open(LostHandler serverGone = {});
    ~KPJackDevice() override;

    // Contexts mix at the server's rate whatever is asked for: the ports take that rate.
    [[nodiscard]] KPALContextPtr createContext(std::optional<int> sampleRate) override;

    // Called on JACK's thread at the start of every cycle of `frames`; writes the cycle's note
    // events into `out` (their frames counted from the cycle's first frame, in order) and
    // answers how many it wrote. It must neither block nor allocate.
    using CycleEventReader = size_t (*)(void* context, uint32_t frames, std::span<KPNoteEvent> out);
    // Null stops reading: when it returns no cycle reads any more, so the context may go.
    void setCycleEventReader(CycleEventReader reader, void* context);
    // Called on JACK's thread in every cycle of `frames`, after its events were read, with the
    // cycle's first frame on the output's sample clock (framesMixed): what fills the client's
    // MIDI output ports. It must neither block nor allocate.
    using CycleWriter = void (*)(void* context, uint32_t frames, int64_t firstFrame);
    // Null stops writing: when it returns no cycle writes any more, so the context may go.
    void setCycleWriter(CycleWriter writer, void* context);
    // The output's own client, on which a MIDI input port read in its cycle lives.
    _jack_client* client() const { return m_client.get(); }
    const char* outputName() const override { return "JACK"; }

    // Takes over a loopback device and an opened, not yet active, client (neither null).
    KPJackDevice(ALCdevice* device, _jack_client* client, int sampleRate, LostHandler serverGone);

private:
    struct ClientCloser
    {
        void operator()(_jack_client* client) const;
    };

    static int process(uint32_t frames, void* self);
    static void shutDown(void* self);
    bool activate();
    // Until no cycle calls the reader or the writer it took before they changed.
    void waitForCycle() const;

    std::unique_ptr<_jack_client, ClientCloser> m_client;
    // The context is stored before the reader, and the reader cleared first.
    std::atomic<CycleEventReader> m_reader = nullptr;
    std::atomic<void*> m_readerContext = nullptr;
    std::atomic<CycleWriter> m_writer = nullptr;
    std::atomic<void*> m_writerContext = nullptr;
    // Set while a cycle may be calling the reader or the writer.
    std::atomic<bool> m_reading = false;
    std::array<KPNoteEvent, 512> m_cycleEvents{};
    // How many of m_cycleEvents wait from a cycle that could not be mixed (JACK's thread only).
    size_t m_carried = 0;
    std::array<_jack_port*, kChannels> m_ports{};
    // Interleaved scratch for the mix, as long as the longest period JACK allows.
    std::vector<float> m_mix;
};
