#include "midi/KPMidiInbox.h"

#include <algorithm>
#include <utility>

KPMidiInbox::KPMidiInbox(size_t capacity) : m_capacity(capacity)
{
    m_queued.reserve(capacity);
}

KPMidiInbox::Push KPMidiInbox::push(std::span<const uint8_t> message)
{
    Message copy;
    if (message.size() > copy.bytes.size())
        return Push::Dropped;
    std::copy(message.begin(), message.end(), copy.bytes.begin());
    copy.size = uint8_t(message.size());
    const std::lock_guard lock(m_mutex);
    if (m_queued.size() == m_capacity) {
        ++m_dropped;
        return Push::Dropped;
    }
    m_queued.push_back(copy);
    return m_queued.size() == 1 ? Push::First : Push::Queued;
}

size_t KPMidiInbox::takeAll(std::vector<Message>& out)
{
    out.clear();
    // Keep the writers' side at full capacity whatever `out` had.
    out.reserve(m_capacity);
    const std::lock_guard lock(m_mutex);
    out.swap(m_queued);
    return std::exchange(m_dropped, 0);
}
