#include "audio/KPNoteSchedule.h"

#include <algorithm>

bool KPNoteSchedule::insert(const KPNoteEvent& event)
{
    if (m_count == m_waiting.size())
        return false;
    // After every event of the same frame, so that one frame's events keep their order.
    const auto end = m_waiting.begin() + ptrdiff_t(m_count);
    const auto at = std::upper_bound(
        m_waiting.begin(), end, event,
        [](const KPNoteEvent& a, const KPNoteEvent& b) { return a.frame < b.frame; });
    std::move_backward(at, end, end + 1);
    *at = event;
    ++m_count;
    return true;
}

void KPNoteSchedule::drop(size_t first)
{
    std::move(m_waiting.begin() + ptrdiff_t(first), m_waiting.begin() + ptrdiff_t(m_count),
              m_waiting.begin());
    m_count -= first;
}

int64_t KPNoteSchedule::nextFrame(int64_t end) const
{
    return m_count > 0 ? std::min(end, m_waiting[0].frame) : end;
}

void KPNoteSchedule::clear()
{
    m_incoming.clear();
    m_count = 0;
}
