#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// Messages for a JACK MIDI output port, each placed on the output's sample clock (frames mixed
// since the output opened, as KPNoteEvent counts them), handed from one producing thread to the
// JACK cycle through a lock-free queue made up front. A message goes out in the cycle that mixes
// its frame, at that frame; one whose frame has been mixed already (0 included) goes out at the
// first frame of the next cycle. Writing never blocks or allocates, on either side: the producer
// may be the main thread (what it plays now) or the render thread (what it sounded at its frame),
// one at a time. A full queue drops the message.
class KPJackMidiWriter
{
public:
    // Rounded up to a power of two.
    explicit KPJackMidiWriter(size_t capacity = 1024);

    // Producer: `message` (1 to 3 bytes) goes out at `frame`. Frames given must not go back:
    // messages leave in the order they were written. False when it was dropped (no room, or not
    // a short message).
    bool write(int64_t frame, std::span<const uint8_t> message);
    // Producer: as soon as the output can, at the first frame of its next cycle.
    bool writeNow(std::span<const uint8_t> message) { return write(0, message); }

    // Consumer (the JACK cycle): empties the port's buffer for a cycle of `frames` whose first
    // frame is `firstFrame`, and writes into it every message due before the cycle ends, in
    // order. What the buffer has no room for waits for the next cycle.
    void writeCycle(void* portBuffer, uint32_t frames, int64_t firstFrame);
    // Consumer, while no cycle runs: forgets what waits (its frames belong to an output gone).
    void discard();

private:
    struct Message
    {
        int64_t frame = 0;
        std::array<uint8_t, 3> bytes{};
        uint8_t size = 0;
    };

    std::vector<Message> m_ring;
    const size_t m_mask;
    // Counted up forever; their difference is what the ring holds.
    std::atomic<size_t> m_written = 0;
    std::atomic<size_t> m_read = 0;
};
