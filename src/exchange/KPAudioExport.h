#pragma once

#include "recordings/KPPianoRecording.h"

#include <QString>

#include <functional>

// A recording rendered offline into a sound file, faster than real time: its instrument played
// through OpenAL Soft's loopback device, every press, release and fade step on the frame of its
// time, kept by the rendered sound as the player keeps it when it plays. 44.1 kHz 16-bit stereo;
// WAV or FLAC by the file's extension. The file ends when the last note has died.
class KPAudioExport
{
public:
    // Told the share done (0 to 1) now and then; answering false cancels the export.
    using Progress = std::function<bool(double done)>;

    static bool canWrite(const QString& path);
    // False with the reason in `error` when the instrument, the device or the file fails, or the
    // export was cancelled; a file that was begun is then removed.
    static bool write(const KPPianoRecording& recording, const QString& path, QString* error,
                      const Progress& progress = {});
};
