#pragma once

#include "audio/KPNoteEvent.h"
#include "audio/KPNoteEventQueue.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The note events waiting for their frame. The main thread posts them; the render thread (or
// the one thread that both posts and renders) takes them in order of frame, those of one frame
// in the order they were posted. Neither side blocks or allocates.
class KPNoteSchedule
{
public:
    static constexpr size_t kCapacity = 1024;

    // From the posting thread. False when the hand-over is full: the event is dropped.
    bool post(const KPNoteEvent& event) { return m_incoming.push(event); }

    // From the render thread. An event that finds no room takes effect at once, through `apply`
    // (called as apply(const KPNoteEvent&)).
    template <typename Apply> void accept(const KPNoteEvent& event, Apply&& apply)
    {
        if (!insert(event))
            apply(event);
    }
    // Moves what was posted into the schedule (from the render thread).
    template <typename Apply> void collect(Apply&& apply)
    {
        KPNoteEvent event;
        while (m_incoming.pop(event))
            accept(event, apply);
    }
    // Applies, in order, every event due at or before `frame`.
    template <typename Apply> void applyDue(int64_t frame, Apply&& apply)
    {
        size_t due = 0;
        while (due < m_count && m_waiting[due].frame <= frame)
            apply(m_waiting[due++]);
        drop(due);
    }
    // The frame of the next event waiting; `end` when there is none before it.
    int64_t nextFrame(int64_t end) const;

    // Drops everything, posted or waiting. Only while nobody renders.
    void clear();

private:
    // False when there is no room.
    bool insert(const KPNoteEvent& event);
    void drop(size_t first);

    KPNoteEventQueue m_incoming;
    std::array<KPNoteEvent, kCapacity> m_waiting{};
    size_t m_count = 0;
};
