#include "recordings/KPRecordingsStore.h"

#include "platform/KPAppPaths.h"
#include "platform/KPFileLock.h"
#include "platform/KPRegularFile.h"
#include "recordings/KPRecordingsArchive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <sys/stat.h>

namespace {

// Long enough for another process to write a large archive; a process stuck holding the lock
// costs a writer this much, and the write is then reported as failed, not lost.
constexpr std::chrono::seconds kLockTimeout(20);
constexpr unsigned kOwnerOnly = 0600;

} // namespace

QString KPRecordingsStore::tooLarge(qint64 bytes) const
{
    const auto size = [](qint64 count) {
        return count >= (1 << 20) ? QStringLiteral("%1 MiB").arg(count >> 20)
                                  : QStringLiteral("%1 KiB").arg(count >> 10);
    };
    return QStringLiteral("the recordings would take %1, more than the %2 a recordings file may "
                          "hold")
        .arg(size(bytes), size(m_maxBytes));
}

KPRecordingsStore::KPRecordingsStore(const QString& path, qint64 maxBytes)
    : m_path(path), m_maxBytes(maxBytes)
{}

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

QList<KPPianoRecording> KPRecordingsStore::load(QString* problem, int* unreadable)
{
    QMutexLocker locker(&m_mutex);
    removeTemporaries();
    QList<KPPianoRecording> recordings;
    QString error;
    if (readLocked(recordings, &error, Damaged::SetAside, unreadable) != Read::Whole && problem)
        *problem = error;
    m_known = recordings;
    m_knownStamp = stamp();
    return recordings;
}

QList<KPPianoRecording> KPRecordingsStore::peek(QString* problem)
{
    QMutexLocker locker(&m_mutex);
    QList<KPPianoRecording> recordings;
    QString error;
    if (readLocked(recordings, &error, Damaged::LeftAlone) != Read::Whole && problem)
        *problem = error;
    return recordings;
}

// A writer that was killed leaves its whole-archive temporary ("recordings.XXXXXX", see
// KPRegularFile::writeAtomically) behind. Only with the lock had at once: a writer at work holds
// it, and start-up does not wait for one.
void KPRecordingsStore::removeTemporaries() const
{
    if (m_path.isEmpty())
        return;
    KPFileLock lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock())
        return;
    const QFileInfo archive(m_path);
    QDir folder = archive.dir();
    const QRegularExpression temporary(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(archive.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (temporary.match(name).hasMatch() && folder.remove(name))
            qInfo("KPRecordingsManager: removed %s, left by a write that did not finish",
                  qPrintable(folder.filePath(name)));
    }
}

// A file that could not be read at all is set aside (or left alone): Read::Not, and `error`
// says where it went. One read but for some recordings (counted in `unreadable`) is copied
// aside, so that writing the rest keeps what the damaged ones still hold.
KPRecordingsStore::Read KPRecordingsStore::readLocked(QList<KPPianoRecording>& recordings,
                                                      QString* error, Damaged damaged,
                                                      int* unreadable)
{
    recordings.clear();
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return Read::Whole;
    QString reason;
    const std::optional<QByteArray> data = KPRegularFile::read(m_path, m_maxBytes, &reason);
    std::optional<QList<KPPianoRecording>> decoded;
    int lost = 0;
    if (data)
        decoded = KPRecordingsArchive::decode(*data, &reason, &lost);
    if (unreadable)
        *unreadable = lost;
    const bool setAside = damaged == Damaged::SetAside;
    if (decoded) {
        recordings = std::move(*decoded);
        if (lost == 0)
            return Read::Whole;
        if (error)
            *error = setAside ? keepCopy(reason, lost)
                              : QStringLiteral("%1 of the recordings in %2 could not be read (%3)")
                                    .arg(lost)
                                    .arg(m_path, reason);
        return Read::Partly;
    }
    if (error)
        *error = setAside ? this->setAside(reason)
                          : QStringLiteral("%1 could not be read (%2)").arg(m_path, reason);
    return Read::Not;
}

QString KPRecordingsStore::asideName() const
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = m_path + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_path + QStringLiteral(".unreadable-%1-%2").arg(stamp).arg(n);
    return aside;
}

// Never written over: the file keeps what the user made, whatever damaged it.
QString KPRecordingsStore::setAside(const QString& reason)
{
    const QString aside = asideName();
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

QString KPRecordingsStore::keepCopy(const QString& reason, int unreadable)
{
    const QString aside = asideName();
    if (QFile::copy(m_path, aside)) {
        qWarning("KPRecordingsManager: %d of the recordings in %s could not be read (%s); kept a "
                 "copy of the file as %s",
                 unreadable, qPrintable(m_path), qPrintable(reason), qPrintable(aside));
        return QStringLiteral("%1 of the recordings in %2 could not be read (%3); a copy of the "
                              "file was kept as %4")
            .arg(unreadable)
            .arg(m_path, reason, aside);
    }
    m_blocked = true;
    qWarning("KPRecordingsManager: %d of the recordings in %s could not be read (%s) and the file "
             "could not be copied aside; it will not be written",
             unreadable, qPrintable(m_path), qPrintable(reason));
    return QStringLiteral("%1 of the recordings in %2 could not be read (%3); the file is kept as "
                          "it is and not written")
        .arg(unreadable)
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
    const QByteArray data = KPRecordingsArchive::encode(recordings);
    // What the reader would refuse is never written: the file keeps what it holds.
    if (data.size() > m_maxBytes) {
        if (error)
            *error = tooLarge(data.size());
        return false;
    }
    if (!KPRegularFile::writeAtomically(m_path, data, kOwnerOnly, error))
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
    KPAppPaths::makePrivateFolder(QFileInfo(m_path).path());
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
    if (readLocked(recordings, &unreadable) != Read::Whole && m_blocked) {
        if (error)
            *error = unreadable;
        return false;
    }
    if (!change(recordings))
        return true;
    return writeLocked(recordings, error);
}
