#include "audio/KPAudioFileDecoder.h"

#include "audio/KPAudioHandles.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

namespace {

bool isFloatingPoint(const SF_INFO& info)
{
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

// libsndfile hands floating-point files to a 16-bit reader unscaled (so as nearly silence); read
// them as normalised floats and convert, clipping what lies beyond full scale.
sf_count_t readFloatingPointFrames(SNDFILE* file, int16_t* data, sf_count_t frames, int channels)
{
    constexpr sf_count_t kChunkFrames = 4096;
    std::vector<float> chunk(size_t(kChunkFrames * channels));
    sf_count_t done = 0;
    while (done < frames) {
        const sf_count_t wanted = std::min(kChunkFrames, frames - done);
        const sf_count_t got = sf_readf_float(file, chunk.data(), wanted);
        if (got <= 0)
            break;
        int16_t* out = data + done * channels;
        for (sf_count_t i = 0; i < got * channels; ++i) {
            const float scaled = std::nearbyint(chunk[size_t(i)] * 32768.0f);
            out[i] = int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
        }
        done += got;
        if (got < wanted)
            break;
    }
    return done;
}

} // namespace

std::optional<KPOpenedAudioFile> OpenAudioFile(const QString& path)
{
    KPOpenedAudioFile opened;
    SF_INFO& info = opened.info;
    opened.file.reset(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!opened.file) {
        printf("LoadAudioFileData: ExtAudioFileOpenURL FAILED, Error = %ld\n",
               long(sf_error(nullptr)));
        return std::nullopt;
    }

    if (info.channels <= 0 || info.samplerate <= 0) {
        printf("LoadAudioFileData: "
               "ExtAudioFileGetProperty(kExtAudioFileProperty_FileDataFormat) FAILED, "
               "Error = %ld\n",
               long(SF_ERR_MALFORMED_FILE));
        return std::nullopt;
    }
    if (info.channels >= 3) {
        printf("LoadAudioFileData: Unsupported format, channel count is greater than stereo\n");
        return std::nullopt;
    }

    const int64_t bytesPerFrame = int64_t(info.channels) * int64_t(sizeof(int16_t));
    if (info.frames < 0 || info.frames == SF_COUNT_MAX) {
        printf("LoadAudioFileData: "
               "ExtAudioFileGetProperty(kExtAudioFileProperty_FileLengthFrames) FAILED, "
               "Error = %ld\n",
               long(SF_ERR_UNSUPPORTED_ENCODING));
        return std::nullopt;
    }
    // The frame count comes from the file; compared before multiplying so nothing overflows.
    if (info.frames > kKPMaximumSampleDataSize / bytesPerFrame) {
        printf("LoadAudioFileData: File too large, %lld frames exceed the limit of %lld bytes\n",
               static_cast<long long>(info.frames),
               static_cast<long long>(kKPMaximumSampleDataSize));
        return std::nullopt;
    }
    return opened;
}

KPSampleData ReadAudioFileData(KPOpenedAudioFile& opened, int64_t& outDataSize, ALenum& outFormat,
                               ALsizei& outSampleRate)
{
    const SF_INFO& info = opened.info;
    const int64_t bytesPerFrame = int64_t(info.channels) * int64_t(sizeof(int16_t));
    const int64_t dataSize = int64_t(info.frames) * bytesPerFrame;

    KPSampleData data;
    try {
        data = std::make_unique_for_overwrite<int16_t[]>(size_t(dataSize / 2));
    } catch (const std::bad_alloc&) {
        printf("LoadAudioFileData: malloc FAILED\n");
        return nullptr;
    }

    SNDFILE* const file = opened.file.get();
    const sf_count_t framesRead =
        isFloatingPoint(info)
            ? readFloatingPointFrames(file, data.get(), info.frames, info.channels)
            : sf_readf_short(file, data.get(), info.frames);
    const int status = sf_error(file);
    if (framesRead < 0 || (framesRead < info.frames && status != SF_ERR_NO_ERROR)) {
        printf("LoadAudioFileData: ExtAudioFileRead FAILED, Error = %ld\n", long(status));
        return nullptr;
    }

    // Only what was read is handed on: a short file never exposes the rest of the block.
    outDataSize = int64_t(framesRead) * bytesPerFrame;
    outFormat = info.channels > 1 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    outSampleRate = ALsizei(info.samplerate);
    return data;
}

KPSampleData LoadAudioFileData(const QString& path, int64_t& outDataSize, ALenum& outFormat,
                               ALsizei& outSampleRate)
{
    std::optional<KPOpenedAudioFile> opened = OpenAudioFile(path);
    if (!opened)
        return nullptr;
    return ReadAudioFileData(*opened, outDataSize, outFormat, outSampleRate);
}
