#include "recordings/KPRecordingsStore.h"

#include "platform/KPFileLock.h"
#include "platform/KPRegularFile.h"
#include "recordings/KPRecordingsArchive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>

namespace {

// Long enough for another process to write a large archive; a process stuck holding the lock
// costs a writer this much, and the write is then reported as failed, not lost.
constexpr std::chrono::seconds kLockTimeout(20);
constexpr unsigned kOwnerOnly = 0600;

} // namespace

KPRecordingsStore::KPRecordingsStore(const QString& path) : m_path(path) {}

KPRecordingsStore::Stamp KPRecordingsStore::stamp() const
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &info) != 0)
        return {};
    return {info.st_ino, info.st_size,
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

QList<KPPianoRecording> KPRecordingsStore::load(QString* problem)
{
    QMutexLocker locker(&m_mutex);
    QList<KPPianoRecording> recordings;
    QString error;
    if (!readLocked(recordings, &error) && problem)
        *problem = error;
    m_known = recordings;
    m_knownStamp = stamp();
    return recordings;
}

// False when the file was there but could not be read: it is then set aside and `error` says
// where it went.
bool KPRecordingsStore::readLocked(QList<KPPianoRecording>& recordings, QString* error)
{
    recordings.clear();
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return true;
    QString reason;
    const std::optional<QByteArray> data = KPRegularFile::read(m_path, kMaxArchiveBytes, &reason);
    std::optional<QList<KPPianoRecording>> decoded;
    if (data)
        decoded = KPRecordingsArchive::decode(*data, &reason);
    if (decoded) {
        recordings = std::move(*decoded);
        return true;
    }
    if (error)
        *error = setAside(reason);
    return false;
}

// Never written over: the file keeps what the user made, whatever damaged it.
QString KPRecordingsStore::setAside(const QString& reason)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = m_path + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_path + QStringLiteral(".unreadable-%1-%2").arg(stamp).arg(n);
    if (QFile::rename(m_path, aside)) {
        qWarning("KPRecordingsManager: Could not read %s (%s); moved it to %s", qPrintable(m_path),
                 qPrintable(reason), qPrintable(aside));
        return QStringLiteral("%1 could not be read (%2); it was kept as %3")
            .arg(m_path, reason, aside);
    }
    m_blocked = true;
    qWarning(
        "KPRecordingsManager: Could not read %s (%s) nor move it aside; it will not be written",
        qPrintable(m_path), qPrintable(reason));
    return QStringLiteral("%1 could not be read (%2); it is kept as it is and not written")
        .arg(m_path, reason);
}

bool KPRecordingsStore::writeLocked(const QList<KPPianoRecording>& recordings, QString* error)
{
    if (m_blocked) {
        if (error)
            *error = QStringLiteral("the unreadable file could not be moved aside, so it is not "
                                    "written over");
        return false;
    }
    if (!KPRegularFile::writeAtomically(m_path, KPRecordingsArchive::encode(recordings), kOwnerOnly,
                                        error))
        return false;
    m_known = recordings;
    m_knownStamp = stamp();
    return true;
}

// The folder is made first: the lock file lives in it.
bool KPRecordingsStore::lockFolder(KPFileLock& lock, QString* error)
{
    if (m_path.isEmpty()) {
        if (error)
            *error = QStringLiteral("there is nowhere to save the recordings");
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).path());
    return lock.lock(kLockTimeout, error);
}

bool KPRecordingsStore::save(QList<KPPianoRecording>& recordings, QList<KPPianoRecording>* added,
                             QString* error)
{
    QMutexLocker locker(&m_mutex);
    KPFileLock lock(m_path + QStringLiteral(".lock"));
    if (!lockFolder(lock, error))
        return false;
    if (stamp() != m_knownStamp) {
        QList<KPPianoRecording> onDisk;
        (void)readLocked(onDisk, nullptr);
        QList<KPPianoRecording> theirs;
        for (const KPPianoRecording& recording : onDisk) {
            if (!m_known.contains(recording) && !recordings.contains(recording))
                theirs.append(recording);
        }
        recordings = theirs + recordings;
        if (added)
            *added = theirs;
    }
    return writeLocked(recordings, error);
}

bool KPRecordingsStore::modify(const std::function<bool(QList<KPPianoRecording>&)>& change,
                               QString* error)
{
    QMutexLocker locker(&m_mutex);
    KPFileLock lock(m_path + QStringLiteral(".lock"));
    if (!lockFolder(lock, error))
        return false;
    QList<KPPianoRecording> recordings;
    QString unreadable;
    if (!readLocked(recordings, &unreadable) && m_blocked) {
        if (error)
            *error = unreadable;
        return false;
    }
    if (!change(recordings))
        return true;
    return writeLocked(recordings, error);
}
