#include "platform/KPManualClock.h"

#include <algorithm>

KPManualClock::KPManualClock() : m_now(std::chrono::steady_clock::now()) {}

QObject* KPManualClock::wakeAt(QObject* owner, TimePoint when, Precision,
                               std::function<void()> ring)
{
    auto* alarm = new QObject(owner);
    m_pending.push_back({alarm, when, m_made++, std::move(ring)});
    return alarm;
}

void KPManualClock::advanceTo(TimePoint end)
{
    for (;;) {
        std::erase_if(m_pending, [](const Pending& p) { return p.alarm.isNull(); });
        const auto next = std::min_element(
            m_pending.begin(), m_pending.end(), [](const Pending& a, const Pending& b) {
                return a.when != b.when ? a.when < b.when : a.order < b.order;
            });
        if (next == m_pending.end() || next->when > end)
            break;
        Pending due = std::move(*next);
        m_pending.erase(next);
        m_now = std::max(m_now, due.when);
        due.alarm->setParent(nullptr);
        due.alarm->deleteLater();
        due.ring();
    }
    m_now = std::max(m_now, end);
}
