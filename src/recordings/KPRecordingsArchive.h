#pragma once

#include "recordings/KPPianoRecording.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The list of all recordings as a keyed archive: a binary property list laid out as the
// platform's keyed archiver writes it, with the recordings stored under the class names
// "KPPianoRecording" and "KPPianoKeyAction". Reading accepts only those classes and plain
// values, checks every reference and type, and bounds what it allocates by the input's size.
class KPRecordingsArchive
{
public:
    [[nodiscard]] static QByteArray encode(const QList<KPPianoRecording>& recordings);
    // At least the size of encode(recordings), worked out without encoding: for archives
    // smaller than 4 GiB (offsets and references of at most four bytes), within some 80 bytes a
    // key event.
    [[nodiscard]] static qint64 sizeBound(const QList<KPPianoRecording>& recordings);
    // The recordings in the archive, or nothing with the reason in `error` when the bytes are not
    // an archive whose root is a list of recordings. A recording that cannot be read is left out
    // and counted in `unreadable`, the first reason in `error`: one damaged value costs at most
    // its recording.
    [[nodiscard]] static std::optional<QList<KPPianoRecording>>
    decode(const QByteArray& data, QString* error = nullptr, int* unreadable = nullptr);
};
