#pragma once

#include "recordings/KPPianoRecording.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class KPRecordingsStore;
class QThread;

// Saves the recordings soon after each change: at most kDelay after the first change not yet
// saved, so a burst of changes is written once. The archive is written on a thread of its own,
// one write at a time, so a large one does not stop the piano. A write that fails is told and
// tried again every kRetryDelay until one succeeds or the list is saved another way.
//
// `take` answers the list to write when it changed since it was last taken (and marks it
// taken), nothing otherwise; `finished` hears how each write went, with the recordings another
// process had added to the file meanwhile. Both are called on the thread that made this object.
class KPRecordingsAutosave : public QObject
{
public:
    static constexpr std::chrono::milliseconds kDelay{1000};
    static constexpr std::chrono::milliseconds kRetryDelay{5000};

    struct Result
    {
        bool saved = false;
        QString error;
        QList<KPPianoRecording> added;
    };

    KPRecordingsAutosave(KPRecordingsStore& store,
                         std::function<std::optional<QList<KPPianoRecording>>()> take,
                         std::function<void(const Result&)> finished, QObject* parent = nullptr);
    // Waits for a write under way: the process does not end in the middle of one.
    ~KPRecordingsAutosave() override;

    // Something changed: a write is due within kDelay.
    void changed();
    // Blocks until the write under way, if any, is done (and its result told).
    void waitForWrite();

private:
    void schedule(std::chrono::milliseconds delay);
    void start();
    void finish();

    KPRecordingsStore& m_store;
    std::function<std::optional<QList<KPPianoRecording>>()> m_take;
    std::function<void(const Result&)> m_finished;
    QPointer<QObject> m_alarm;
    std::unique_ptr<QThread> m_thread;
    Result m_result;
    bool m_failing = false;
    // A write fell due while one was under way.
    bool m_again = false;
};
