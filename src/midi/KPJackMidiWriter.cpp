#include "midi/KPJackMidiWriter.h"

#include <jack/midiport.h>

#include <algorithm>
#include <bit>

KPJackMidiWriter::KPJackMidiWriter(size_t capacity)
    : m_ring(std::bit_ceil(std::max<size_t>(capacity, 2))), m_mask(m_ring.size() - 1)
{}

bool KPJackMidiWriter::write(int64_t frame, std::span<const uint8_t> message)
{
    const size_t written = m_written.load(std::memory_order_relaxed);
    if (message.empty() || message.size() > Message().bytes.size() ||
        written - m_read.load(std::memory_order_acquire) == m_ring.size())
        return false;
    Message& slot = m_ring[written & m_mask];
    slot.frame = frame;
    slot.size = uint8_t(message.size());
    std::copy(message.begin(), message.end(), slot.bytes.begin());
    m_written.store(written + 1, std::memory_order_release);
    return true;
}

// On JACK's thread: never waits, never allocates. The port takes its events in time order, so an
// event never goes before the one written ahead of it.
void KPJackMidiWriter::writeCycle(void* portBuffer, uint32_t frames, int64_t firstFrame)
{
    jack_midi_clear_buffer(portBuffer);
    const size_t written = m_written.load(std::memory_order_acquire);
    size_t read = m_read.load(std::memory_order_relaxed);
    uint32_t offset = 0;
    for (; read != written; ++read) {
        const Message& message = m_ring[read & m_mask];
        if (message.frame >= firstFrame + frames)
            break;
        offset = std::max(offset, uint32_t(std::max<int64_t>(message.frame - firstFrame, 0)));
        if (jack_midi_event_write(portBuffer, offset, message.bytes.data(), message.size) != 0)
            break;
    }
    m_read.store(read, std::memory_order_release);
}

void KPJackMidiWriter::discard()
{
    m_read.store(m_written.load(std::memory_order_acquire), std::memory_order_release);
}
