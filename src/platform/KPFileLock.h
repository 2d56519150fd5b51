#pragma once

#include <QString>

#include <chrono>

// An exclusive lock between processes on a lock file of its own (flock), released when the
// object goes or the process ends, however it ends. The lock file is made when missing and
// never removed, so that two processes always lock the same file.
class KPFileLock
{
public:
    explicit KPFileLock(const QString& path);
    ~KPFileLock();
    KPFileLock(const KPFileLock&) = delete;
    KPFileLock& operator=(const KPFileLock&) = delete;

    // Waits at most `timeout` for the lock; false with the reason in `error` when it was not had.
    [[nodiscard]] bool lock(std::chrono::milliseconds timeout, QString* error = nullptr);
    [[nodiscard]] bool tryLock(QString* error = nullptr)
    {
        return lock(std::chrono::milliseconds(0), error);
    }
    void unlock();
    bool isLocked() const { return m_locked; }

private:
    QString m_path;
    int m_fd = -1;
    bool m_locked = false;
};
