#pragma once

#include "audio/KPAudioHandles.h"

#include <AL/al.h>

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// A block of interleaved signed 16-bit PCM in native byte order.
using KPSampleData = std::unique_ptr<int16_t[]>;

// The largest PCM block a sound file may decode to.
inline constexpr int64_t kKPMaximumSampleDataSize = int64_t(64) * 1024 * 1024;

// A sound file opened for decoding, its format found fit: one or two channels, a length that
// fits the largest block.
struct KPOpenedAudioFile
{
    KPSndFilePtr file;
    SF_INFO info{};
};

// Opens the file and reads its format; on failure prints why on standard output, as
// LoadAudioFileData does, and answers nothing. Cheap: the samples are read by ReadAudioFileData.
[[nodiscard]] std::optional<KPOpenedAudioFile> OpenAudioFile(const QString& path);
// Decodes the opened file, as LoadAudioFileData does.
[[nodiscard]] KPSampleData ReadAudioFileData(KPOpenedAudioFile& opened, int64_t& outDataSize,
                                             ALenum& outFormat, ALsizei& outSampleRate);

// Decodes a sound file (any format libsndfile reads, mono or stereo) into 16-bit PCM at the
// file's own rate. On success sets the number of bytes decoded (frames actually read, never more
// than the block holds), AL_FORMAT_MONO16 or AL_FORMAT_STEREO16 and the rate in whole hertz.
// On failure prints why on standard output and returns null.
[[nodiscard]] KPSampleData LoadAudioFileData(const QString& path, int64_t& outDataSize,
                                             ALenum& outFormat, ALsizei& outSampleRate);
