#include "platform/KPFileLock.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

KPFileLock::KPFileLock(const QString& path) : m_path(path) {}

KPFileLock::~KPFileLock()
{
    unlock();
    if (m_fd >= 0)
        ::close(m_fd);
}

// Polls rather than blocks, so that a process holding the lock for ever costs a waiter its
// timeout and no more.
bool KPFileLock::lock(std::chrono::milliseconds timeout, QString* error)
{
    if (m_locked)
        return true;
    if (m_fd < 0)
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            if (error)
                *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (error)
                *error = QStringLiteral("another process holds %1").arg(m_path);
            return false;
        }
        QThread::msleep(5);
    }
    m_locked = true;
    return true;
}

void KPFileLock::unlock()
{
    if (m_locked)
        ::flock(m_fd, LOCK_UN);
    m_locked = false;
}
