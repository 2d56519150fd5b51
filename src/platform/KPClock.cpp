#include "platform/KPClock.h"

#include <QTimer>

#include <thread>

namespace {

// Qt timers count whole milliseconds; an exact alarm wakes a little early and spins the rest, so
// it rings well within a millisecond of its time.
constexpr auto kSpinLimit = std::chrono::milliseconds(2);

class KPSteadyAlarm : public QObject
{
public:
    KPSteadyAlarm(QObject* owner, KPClock::TimePoint when, KPClock::Precision precision,
                  std::function<void()> ring)
        : QObject(owner), m_when(when), m_precision(precision), m_ring(std::move(ring))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { onTimeout(); });
        arm();
    }

private:
    void arm()
    {
        using namespace std::chrono;
        const auto wait = m_when - steady_clock::now();
        auto ms = duration_cast<milliseconds>(wait);
        if (m_precision == KPClock::Precision::Exact)
            ms -= milliseconds(1);
        else if (ms < wait)
            ms += milliseconds(1);
        m_timer.start(std::max(ms, milliseconds(0)));
    }

    void onTimeout()
    {
        auto now = std::chrono::steady_clock::now();
        if (m_when - now >
            (m_precision == KPClock::Precision::Exact ? kSpinLimit : KPClock::Duration::zero())) {
            arm();
            return;
        }
        while (now < m_when) {
            std::this_thread::yield();
            now = std::chrono::steady_clock::now();
        }
        setParent(nullptr);
        deleteLater();
        m_ring();
    }

    KPClock::TimePoint m_when;
    KPClock::Precision m_precision;
    std::function<void()> m_ring;
    QTimer m_timer;
};

class KPSteadyClock : public KPClock
{
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }

    QObject* wakeAt(QObject* owner, TimePoint when, Precision precision,
                    std::function<void()> ring) override
    {
        return new KPSteadyAlarm(owner, when, precision, std::move(ring));
    }
};

KPClock* g_current = nullptr;

} // namespace

KPClock& KPClock::current()
{
    static KPSteadyClock steady;
    return g_current ? *g_current : steady;
}

void KPClock::setCurrent(KPClock* clock)
{
    g_current = clock;
}
