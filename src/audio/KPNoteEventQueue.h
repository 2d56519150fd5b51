#pragma once

#include "audio/KPNoteEvent.h"

#include <array>
#include <atomic>
#include <cstddef>

// Hands note events from one thread (the main thread) to one other (the render thread) without
// a lock and without allocating. Events leave in the order they came.
class KPNoteEventQueue
{
public:
    static constexpr size_t kCapacity = 4096;

    // False when full: the event is not taken.
    bool push(const KPNoteEvent& event);
    // False when empty.
    bool pop(KPNoteEvent& event);
    // Drops every event. Only while no one pops.
    void clear()
    {
        m_read.store(m_write.load(std::memory_order_acquire), std::memory_order_release);
    }

private:
    std::array<KPNoteEvent, kCapacity> m_events{};
    std::atomic<size_t> m_write = 0;
    std::atomic<size_t> m_read = 0;
};
