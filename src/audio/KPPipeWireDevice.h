#pragma once

#include "audio/KPHostDevice.h"

#include <memory>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;

// Output to a PipeWire server with the mix made inside the stream's real-time process callback:
// OpenAL Soft's loopback device rendered straight into the buffer the graph asks for, as the
// JACK output does in its cycle. OpenAL Soft 1.19's own output reaches PipeWire through its
// PulseAudio server and mixes two of its periods ahead on a thread of its own; here a note
// waits for no more than the graph's quantum, which the stream asks to be small.
//
// The frame clock is tied to the start of each callback, and an event placed by time lands one
// quantum after it, so that it is never already mixed. A server that refuses the stream, or
// goes away while it plays, loses the output (KPHostDevice).
class KPPipeWireDevice : public KPHostDevice
{
public:
    // The latency asked of the graph, in frames at its rate.
    static constexpr int kQuantum = 128;

    // Null when no PipeWire server runs, or it will not play the stream; `lost` is called on
    // PipeWire's thread if it stops playing later.
    [[nodiscard]] static std::unique_ptr<KPPipeWireDevice> open(LostHandler lost = {});
    ~KPPipeWireDevice() override;

    // Contexts mix at the stream's rate whatever is asked for: the graph takes that rate.
    [[nodiscard]] KPALContextPtr createContext(std::optional<int> sampleRate) override;
    const char* outputName() const override { return "PipeWire"; }

    KPPipeWireDevice(ALCdevice* device, LostHandler lost);

private:
    struct Connection;
    struct Events;

    bool connect();
    void process();
    void stateChanged(int state);
    void formatChanged(const struct spa_pod* format);

    std::unique_ptr<Connection> m_connection;
};
