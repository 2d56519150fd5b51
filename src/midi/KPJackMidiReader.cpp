#include "midi/KPJackMidiReader.h"

#include <jack/midiport.h>

#include <algorithm>
#include <bit>

namespace {

// Note-off to pitch bend: the only messages that play keys or hold them.
bool isChannelMessage(const jack_midi_event_t& event)
{
    return event.size >= 1 && event.size <= 3 && event.buffer[0] >= 0x80 && event.buffer[0] < 0xF0;
}

} // namespace

KPJackMidiReader::KPJackMidiReader(size_t capacity)
    : m_ring(std::bit_ceil(std::max<size_t>(capacity, 2))), m_mask(m_ring.size() - 1)
{}

bool KPJackMidiReader::readCycle(void* portBuffer, uint32_t cycleStart, Seen seen, void* context)
{
    bool queued = false;
    const uint32_t count = jack_midi_get_event_count(portBuffer);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, portBuffer, i) != 0 || !isChannelMessage(event))
            continue;
        Event copy;
        copy.frame = cycleStart + event.time;
        copy.size = uint8_t(event.size);
        std::copy_n(event.buffer, event.size, copy.bytes.begin());
        if (!push(copy))
            continue;
        queued = true;
        if (seen)
            seen(context, copy);
    }
    return queued && !m_wakePending.exchange(true);
}

bool KPJackMidiReader::push(const Event& event)
{
    const size_t written = m_written.load(std::memory_order_relaxed);
    if (written - m_read.load(std::memory_order_acquire) == m_ring.size()) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    m_ring[written & m_mask] = event;
    m_written.store(written + 1);
    return true;
}

size_t KPJackMidiReader::takeAll(std::vector<Event>& out)
{
    out.clear();
    m_wakePending.store(false);
    const size_t written = m_written.load();
    size_t read = m_read.load(std::memory_order_relaxed);
    for (; read != written; ++read)
        out.push_back(m_ring[read & m_mask]);
    m_read.store(read, std::memory_order_release);
    return m_dropped.exchange(0, std::memory_order_relaxed);
}
