#include "recordings/KPRecordingsAutosave.h"

#include "platform/KPClock.h"
#include "recordings/KPRecordingsStore.h"

#include <QThread>

KPRecordingsAutosave::KPRecordingsAutosave(
    KPRecordingsStore& store, std::function<std::optional<QList<KPPianoRecording>>()> take,
    std::function<void(const Result&)> finished, QObject* parent)
    : QObject(parent), m_store(store), m_take(std::move(take)), m_finished(std::move(finished))
{}

KPRecordingsAutosave::~KPRecordingsAutosave()
{
    if (m_thread)
        m_thread->wait();
}

void KPRecordingsAutosave::changed()
{
    // After a failure the retry's own pace holds: changes do not hammer a full disk.
    if (!m_failing)
        schedule(kDelay);
}

void KPRecordingsAutosave::schedule(std::chrono::milliseconds delay)
{
    if (m_alarm)
        return;
    KPClock& clock = KPClock::current();
    m_alarm = clock.wakeAt(this, clock.now() + delay, KPClock::Precision::Millisecond, [this] {
        m_alarm = nullptr;
        start();
    });
}

void KPRecordingsAutosave::start()
{
    // One write at a time: the next is taken when this one is done.
    if (m_thread) {
        m_again = true;
        return;
    }
    std::optional<QList<KPPianoRecording>> recordings = m_take();
    if (!recordings)
        return;
    m_thread.reset(QThread::create([this, list = std::move(*recordings)]() mutable {
        Result result;
        result.saved = m_store.save(list, &result.added, &result.error);
        m_result = std::move(result);
    }));
    connect(m_thread.get(), &QThread::finished, this, &KPRecordingsAutosave::finish);
    m_thread->start();
}

void KPRecordingsAutosave::waitForWrite()
{
    if (m_thread) {
        m_thread->wait();
        finish();
    }
}

void KPRecordingsAutosave::finish()
{
    if (!m_thread)
        return;
    m_thread->wait();
    m_thread.reset();
    const Result result = std::exchange(m_result, {});
    m_failing = !result.saved;
    m_finished(result);
    if (m_failing)
        schedule(kRetryDelay);
    else if (std::exchange(m_again, false))
        schedule(kDelay);
}
