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

// Events land on their own frames whatever the block; small blocks keep the file's end close to
// the last voice's, large ones make rendering cheap.
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
    std::shared_ptr<KPAudioDevice> device = KPLoopbackDevice::open(
        KPLoopbackDevice::kDefaultRate, KPLoopbackDevice::Mixing::OnRender, true);
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
        return fail(error, QStringLiteral("it cannot be written: %1")
                               .arg(QString::fromUtf8(sf_strerror(nullptr))));
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    const auto cancel = [&](const QString& reason) {
        file.reset();
        QFile::remove(path);
        return fail(error, reason);
    };
    // Frame 0 of the render is the clock's start: every event, and every fade step the clock
    // brings, lands on the frame of its time. Events are handed over a block ahead of the render.
    const KPClock::TimePoint start = clock.now();
    loopback->anchor(start);
    const auto timeAt = [&](double seconds) {
        return start + std::chrono::duration_cast<KPClock::Duration>(
                           std::chrono::duration<double>(seconds));
    };
    const QList<KPPianoKeyAction>& actions = recording.actions;
    // Only a damaged archive holds events this late: they would take hours to render.
    const qsizetype count =
        std::find_if(actions.cbegin(), actions.cend(),
                     [](const KPPianoKeyAction& action) {
                         return !(action.interval <= KPPianoRecording::kLongestSeconds);
                     }) -
        actions.cbegin();
    const double lastEvent = count == 0 ? 0.0 : std::max(0.0, double(actions[count - 1].interval));
    std::vector<float> block(size_t(kBlockFrames) * KPLoopbackDevice::kChannels);
    int64_t rendered = 0;
    double nextProgress = 0.0;
    qsizetype next = 0;
    const auto renderBlock = [&] {
        const int64_t end = rendered + kBlockFrames;
        for (; next < count &&
               std::llround(std::max(0.0, double(actions[next].interval)) * rate) < end;
             ++next) {
            const KPPianoKeyAction& action = actions[next];
            const uint32_t note = KPKeyboardLayout::midiIndexForKey(uint32_t(action.index));
            if (note == 0)
                continue;
            const KPClock::TimePoint at = timeAt(std::max(0.0, double(action.interval)));
            if (action.isRelease())
                player.stop(note, at);
            else
                player.play(note, action.velocity, at);
        }
        clock.advanceTo(timeAt(double(end) / rate));
        loopback->render(block.data(), kBlockFrames);
        if (sf_writef_float(file.get(), block.data(), kBlockFrames) != kBlockFrames)
            return false;
        rendered = end;
        return true;
    };
    const auto report = [&] {
        const double seconds = double(rendered) / rate;
        if (!progress || seconds < nextProgress)
            return true;
        nextProgress = seconds + kProgressEvery;
        return progress(lastEvent > 0.0 ? std::min(1.0, seconds / lastEvent) : 1.0);
    };

    while (next < count) {
        if (!renderBlock())
            return cancel(QStringLiteral("writing it failed"));
        if (!report())
            return cancel(QStringLiteral("the export was cancelled"));
    }
    const int64_t tailEnd = rendered + std::llround(kLongestTail * rate);
    while (player.sampler().playingVoiceCount() > 0 && rendered < tailEnd) {
        if (!renderBlock())
            return cancel(QStringLiteral("writing it failed"));
    }
    if (sf_close(file.release()) != 0) {
        QFile::remove(path);
        return fail(error, QStringLiteral("writing it failed"));
    }
    if (progress)
        progress(1.0);
    return true;
}
