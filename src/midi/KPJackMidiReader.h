#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// Reads JACK MIDI port buffers on a JACK thread and hands the channel messages, each with the
// frame it falls on, to one reading thread through a lock-free queue made up front. Reading a
// cycle never blocks or allocates, so it may run inside any client's process callback: ours,
// or an output's that renders the notes at their frames. One writer and one reader at a time.
// System messages (clock, active sensing, system exclusive) are not queued; a full queue drops
// the message and counts it.
class KPJackMidiReader
{
public:
    struct Event
    {
        // On the server's frame clock (it wraps, as JACK's does).
        uint32_t frame = 0;
        std::array<uint8_t, 3> bytes{};
        uint8_t size = 0;

        std::span<const uint8_t> data() const { return std::span(bytes).first(size); }
    };

    // Rounded up to a power of two.
    explicit KPJackMidiReader(size_t capacity = 4096);

    // Called on the writer's thread with each message queued; it must neither block nor allocate.
    using Seen = void (*)(void* context, const Event& event);

    // Writer (a JACK thread): queues the messages of one cycle of `portBuffer`, whose first
    // frame is `cycleStart`, showing each to `seen` when given. True when the reader must be
    // woken: something was queued and the reader was not yet told of earlier messages.
    bool readCycle(void* portBuffer, uint32_t cycleStart, Seen seen = nullptr,
                   void* context = nullptr);
    // Reader: everything queued so far, in order, replacing what `out` held; and how many
    // messages were dropped since the last call.
    size_t takeAll(std::vector<Event>& out);

private:
    bool push(const Event& event);

    std::vector<Event> m_ring;
    const size_t m_mask;
    // Counted up forever; their difference is what the ring holds.
    std::atomic<size_t> m_written = 0;
    std::atomic<size_t> m_read = 0;
    std::atomic<size_t> m_dropped = 0;
    // Set by the writer's wake-up, cleared by the reader before it takes: no wake-up is lost.
    std::atomic<bool> m_wakePending = false;
};
