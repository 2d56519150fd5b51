#pragma once

#include "recordings/KPPianoRecording.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <functional>
#include <sys/types.h>

// The archive file of the recordings, shared by every process of the program. Every write holds
// an exclusive lock between processes (the file "<archive>.lock") from reading the file on disk
// to renaming the new one over it, so no writer drops a recording another one added: a writer
// that finds the file changed since it last read or wrote it first takes in the recordings that
// were added there. The archive is written readable by its owner only, and never written over
// when it could not be read. Thread-safe: one write at a time.
class KPFileLock;

class KPRecordingsStore
{
public:
    static constexpr qint64 kMaxArchiveBytes = qint64(1) << 30;

    explicit KPRecordingsStore(const QString& path);

    const QString& path() const { return m_path; }

    // The recordings in the file (none when there is no file). A file that cannot be read is
    // moved aside, kept, and `problem` says so and where it went.
    QList<KPPianoRecording> load(QString* problem = nullptr);
    // Writes `recordings` as the archive. Recordings another process put in the file since this
    // store last read or wrote it are first put at the top of `recordings` and into `added`.
    bool save(QList<KPPianoRecording>& recordings, QList<KPPianoRecording>* added = nullptr,
              QString* error = nullptr);
    // For a process without a window: reads the file, lets `change` change the list (it answers
    // false to leave the file alone) and writes it back, all under the lock.
    bool modify(const std::function<bool(QList<KPPianoRecording>&)>& change,
                QString* error = nullptr);

private:
    struct Stamp
    {
        ino_t inode = 0;
        off_t size = -1;
        qint64 modifiedNanoseconds = 0;
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };

    Stamp stamp() const;
    bool lockFolder(KPFileLock& lock, QString* error);
    bool readLocked(QList<KPPianoRecording>& recordings, QString* error);
    bool writeLocked(const QList<KPPianoRecording>& recordings, QString* error);
    QString setAside(const QString& reason);

    QString m_path;
    QMutex m_mutex;
    // Set when a file that could not be read could not be moved aside either.
    bool m_blocked = false;
    // The list as this store last read or wrote it, and the file as it was then.
    QList<KPPianoRecording> m_known;
    Stamp m_knownStamp;
};
