#include "exchange/KPAudioExport.h"

#include "audio/KPLoopbackDevice.h"
#include "audio/KPSoundPlayer.h"
#include "keyboard/KPKeyboardLayout.h"
#include "platform/KPManualClock.h"

#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// Small enough that a fade step lands within 1.5 ms of its time, finer than a live output's
// period; large enough that rendering costs little per block.
constexpr int kBlockFrames = 64;
// Past the last event the file goes on until every voice is silent, but never longer than the
// longest sample could sound.
constexpr double kLongestTail = 30.0;
constexpr double kProgressEvery = 0.5;

struct SndfileCloser
{
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

std::optional<int> formatFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("wav"))
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (suffix == QLatin1String("flac"))
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    return std::nullopt;
}

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

bool KPAudioExport::canWrite(const QString& path)
{
    return formatFor(path).has_value();
}

bool KPAudioExport::write(const KPPianoRecording& recording, const QString& path, QString* error,
                          const Progress& progress)
{
    const auto format = formatFor(path);
    if (!format)
        return fail(error, QStringLiteral("only .wav and .flac files can be written"));
    std::shared_ptr<KPAudioDevice> device = KPLoopbackDevice::open(KPLoopbackDevice::kDefaultRate);
    if (!device)
        return fail(error, QStringLiteral("OpenAL Soft's loopback device is missing"));
    auto* loopback = static_cast<KPLoopbackDevice*>(device.get());

    KPManualClock clock;
    // An offline render, maybe on a worker thread: the application's audio session is not its.
    KPSoundPlayer player([device] { return device; }, &clock, nullptr);
    player.useSoundBank(recording.soundBankName);
    if (!player.sampler().isInitialized())
        return fail(error, QStringLiteral("the instrument \"%1\" could not be loaded")
                               .arg(recording.soundBankName));

    const int rate = loopback->sampleRate();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = KPLoopbackDevice::kChannels;
    info.format = *format;
    SndfilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file)
        return fail(error, QStringLiteral("%1 cannot be written: %2")
                               .arg(path, QString::fromUtf8(sf_strerror(nullptr))));
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    const auto cancel = [&](const QString& reason) {
        file.reset();
        QFile::remove(path);
        return fail(error, reason);
    };
    const KPClock::TimePoint start = clock.now();
    const double lastEvent = recording.actions.isEmpty() ? 0.0 : recording.actions.last().interval;
    std::vector<float> block(size_t(kBlockFrames) * KPLoopbackDevice::kChannels);
    int64_t rendered = 0;
    double nextProgress = 0.0;
    const auto renderTo = [&](int64_t target) {
        while (rendered < target) {
            const int frames = int(std::min<int64_t>(kBlockFrames, target - rendered));
            loopback->render(block.data(), frames);
            if (sf_writef_float(file.get(), block.data(), frames) != frames)
                return false;
            rendered += frames;
            clock.advanceTo(start + std::chrono::duration_cast<KPClock::Duration>(
                                        std::chrono::duration<double>(double(rendered) / rate)));
        }
        return true;
    };
    const auto report = [&](double seconds) {
        if (!progress || seconds < nextProgress)
            return true;
        nextProgress = seconds + kProgressEvery;
        return progress(lastEvent > 0.0 ? std::min(1.0, seconds / lastEvent) : 1.0);
    };

    for (const KPPianoKeyAction& action : recording.actions) {
        const double at = std::max(0.0, double(action.interval));
        if (!renderTo(std::llround(at * rate)))
            return cancel(QStringLiteral("writing %1 failed").arg(path));
        if (!report(at))
            return cancel(QStringLiteral("the export was cancelled"));
        const uint32_t note = KPKeyboardLayout::midiIndexForKey(uint32_t(action.index));
        if (note == 0)
            continue;
        if (action.isRelease())
            player.stop(note);
        else
            player.play(note, action.velocity);
    }
    const int64_t tailEnd = rendered + std::llround(kLongestTail * rate);
    while (player.sampler().playingVoiceCount() > 0 && rendered < tailEnd) {
        if (!renderTo(rendered + kBlockFrames))
            return cancel(QStringLiteral("writing %1 failed").arg(path));
    }
    if (sf_close(file.release()) != 0) {
        QFile::remove(path);
        return fail(error, QStringLiteral("writing %1 failed").arg(path));
    }
    if (progress)
        progress(1.0);
    return true;
}
