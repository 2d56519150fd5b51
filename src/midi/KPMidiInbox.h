#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

// Hands MIDI messages from the input threads to the main thread. Writers copy a message in
// under a short lock into room made up front, so the input thread never allocates; the reader
// swaps the whole batch out. A full inbox drops the message and counts it.
class KPMidiInbox
{
public:
    struct Message
    {
        std::array<uint8_t, 3> bytes{};
        uint8_t size = 0;

        std::span<const uint8_t> data() const { return std::span(bytes).first(size); }
    };

    enum class Push {
        // Queued into an empty inbox: the reader must be woken.
        First,
        Queued,
        // Too long to be a key message, or no room: not queued.
        Dropped,
    };

    explicit KPMidiInbox(size_t capacity = 1024);

    // Any thread.
    Push push(std::span<const uint8_t> message);
    // Reader thread: everything queued so far, in order, replacing what `out` held; and how many
    // messages were dropped since the last call.
    size_t takeAll(std::vector<Message>& out);

private:
    const size_t m_capacity;
    std::mutex m_mutex;
    std::vector<Message> m_queued;
    size_t m_dropped = 0;
};
