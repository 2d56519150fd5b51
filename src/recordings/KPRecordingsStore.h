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
// when it could not be read, nor made larger than a reader takes (kMaxArchiveBytes). One damaged
// recording costs that recording only: the rest are read, and a copy of the file is kept.
// Thread-safe: one write at a time.
class KPFileLock;

class KPRecordingsStore
{
public:
    static constexpr qint64 kMaxArchiveBytes = qint64(1) << 30;

    // `maxBytes`: the largest file read or written.
    explicit KPRecordingsStore(const QString& path, qint64 maxBytes = kMaxArchiveBytes);

    const QString& path() const { return m_path; }
    qint64 maxBytes() const { return m_maxBytes; }
    // Why a list of `bytes` is not written.
    QString tooLarge(qint64 bytes) const;

    // The recordings in the file (none when there is no file). A file that cannot be read is
    // moved aside, kept, and `problem` says so and where it went; one that can be read but for
    // some recordings is copied aside, and `unreadable` counts the recordings left out. Whole-file
    // temporaries of writers that were killed are removed, when no writer holds the lock.
    QList<KPPianoRecording> load(QString* problem = nullptr, int* unreadable = nullptr);
    // The recordings in the file, read without changing anything on disk; `problem` says what
    // could not be read.
    QList<KPPianoRecording> peek(QString* problem = nullptr);
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

    enum class Read { Whole, Partly, Not };
    enum class Damaged { SetAside, LeftAlone };

    Stamp stamp() const;
    bool lockFolder(KPFileLock& lock, QString* error);
    Read readLocked(QList<KPPianoRecording>& recordings, QString* error,
                    Damaged damaged = Damaged::SetAside, int* unreadable = nullptr);
    bool writeLocked(const QList<KPPianoRecording>& recordings, QString* error);
    QString asideName() const;
    QString setAside(const QString& reason);
    QString keepCopy(const QString& reason, int unreadable);
    void removeTemporaries() const;

    QString m_path;
    qint64 m_maxBytes;
    QMutex m_mutex;
    // Set when a file that could not be read could not be moved aside either.
    bool m_blocked = false;
    // The list as this store last read or wrote it, and the file as it was then.
    QList<KPPianoRecording> m_known;
    Stamp m_knownStamp;
};
