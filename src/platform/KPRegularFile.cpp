#include "platform/KPRegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

bool failed(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

QString sizeText(qint64 bytes)
{
    return bytes >= (qint64(1) << 30) && bytes % (qint64(1) << 30) == 0
               ? QStringLiteral("%1 GiB").arg(bytes >> 30)
               : QStringLiteral("%1 MiB").arg(double(bytes) / (1 << 20));
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closing can report a write that failed late (on some file systems): it is checked.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

} // namespace

std::optional<QByteArray> KPRegularFile::read(const QString& path, qint64 maxBytes, QString* error)
{
    // Non-blocking, so that opening a FIFO with no writer returns at once.
    Descriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info
    {
    };
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0) {
        failed(error, systemError(errno));
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        failed(error, S_ISDIR(info.st_mode) ? QStringLiteral("it is a folder")
                                            : QStringLiteral("it is not a regular file"));
        return std::nullopt;
    }
    if (info.st_size > maxBytes) {
        failed(error, QStringLiteral("it is larger than %1").arg(sizeText(maxBytes)));
        return std::nullopt;
    }
    QByteArray data(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t got = ::read(file.get(), data.data() + done, size_t(data.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            failed(error, systemError(errno));
            return std::nullopt;
        }
        if (got == 0)
            break; // it shrank while being read: what is there is what it holds
        done += got;
    }
    data.truncate(done);
    return data;
}

bool KPRegularFile::writeAtomically(const QString& path, const QByteArray& data,
                                    unsigned permissions, QString* error)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0)
        return failed(error, systemError(errno));
    const auto giveUp = [&](int code) {
        ::unlink(temporary.constData());
        return failed(error, systemError(code));
    };
    if (::fchmod(file.get(), mode_t(permissions)) != 0)
        return giveUp(errno);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t put =
            ::write(file.get(), data.constData() + done, size_t(data.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return giveUp(errno);
        done += put;
    }
    if (::fsync(file.get()) != 0)
        return giveUp(errno);
    if (!file.close())
        return giveUp(errno);
    if (::rename(temporary.constData(), target.constData()) != 0)
        return giveUp(errno);
    // The rename itself lasts once the folder is synced.
    Descriptor folder(::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
    return true;
}
