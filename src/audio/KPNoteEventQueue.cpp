#include "audio/KPNoteEventQueue.h"

bool KPNoteEventQueue::push(const KPNoteEvent& event)
{
    const size_t write = m_write.load(std::memory_order_relaxed);
    if (write - m_read.load(std::memory_order_acquire) >= kCapacity)
        return false;
    m_events[write % kCapacity] = event;
    m_write.store(write + 1, std::memory_order_release);
    return true;
}

bool KPNoteEventQueue::pop(KPNoteEvent& event)
{
    const size_t read = m_read.load(std::memory_order_relaxed);
    if (read == m_write.load(std::memory_order_acquire))
        return false;
    event = m_events[read % kCapacity];
    m_read.store(read + 1, std::memory_order_release);
    return true;
}
