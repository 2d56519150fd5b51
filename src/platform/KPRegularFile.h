#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Whole small files read and written without surprises. Reading opens only a regular file,
// never waits on one (a FIFO or a device is refused at once) and refuses one larger than the
// caller's bound before reading a byte of it. Writing goes through a temporary file in the same
// folder, synced and renamed over the old one, so a crash or a full disk leaves the previous
// file whole. Errors are the system's own words ("No space left on device").
class KPRegularFile
{
public:
    [[nodiscard]] static std::optional<QByteArray> read(const QString& path, qint64 maxBytes,
                                                        QString* error = nullptr);
    // The file gets `permissions` (e.g. 0600) whatever the process's umask.
    [[nodiscard]] static bool writeAtomically(const QString& path, const QByteArray& data,
                                              unsigned permissions, QString* error = nullptr);
};
