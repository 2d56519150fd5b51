// Playback figures: how exactly playback keeps each event's time, and what starting the
// playback of a very long recording costs in time and memory.

#include "KPJackServer.h"
#include "KPPipeWireServer.h"

#include "audio/KPJackDevice.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPPipeWireDevice.h"
#include "audio/KPSoundPlayer.h"
#include "performer/KPNotePerformer.h"
#include "recordings/KPRecordingsArchive.h"
#include "recordings/KPRecordingsManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Notes when the performer plays each replayed event.
class TimingKeys : public KPNoteListener
{
public:
    void notePressed(KPNoteSource /*source*/, uint32_t /*note*/, uint8_t /*velocity*/) override
    {
        arrivals.push_back(Clock::now());
    }
    void noteReleased(KPNoteSource /*source*/, uint32_t /*note*/, bool /*stillHeld*/) override
    {
        arrivals.push_back(Clock::now());
    }

    std::vector<Clock::time_point> arrivals;
};

KPSoundPlayer& player()
{
    // A silent output that mixes in real time, as on a machine without a sound card.
    static std::shared_ptr<KPAudioDevice> device =
        KPLoopbackDevice::open(KPLoopbackDevice::kDefaultRate, KPLoopbackDevice::Mixing::RealTime);
    static KPSoundPlayer player([] { return device; });
    return player;
}

// A JACK output on a dummy server of the benchmark's own (128 frames at 48 kHz, at real-time
// priority when KP_JACK_REALTIME=1); null where JACK cannot run.
KPSoundPlayer* jackPlayer()
{
    static KPJackServer server(128, 48000,
                               qEnvironmentVariableIntValue("KP_JACK_REALTIME") == 1
                                   ? KPJackServer::Scheduling::Realtime
                                   : KPJackServer::Scheduling::Normal);
    static std::shared_ptr<KPAudioDevice> device =
        server.isRunning() ? std::shared_ptr<KPAudioDevice>(KPJackDevice::open({})) : nullptr;
    static std::unique_ptr<KPSoundPlayer> player =
        device ? std::make_unique<KPSoundPlayer>([] { return device; }) : nullptr;
    return player.get();
}

// The desktop's output on a PipeWire server of the benchmark's own, with a null sink; null where
// PipeWire cannot run.
KPSoundPlayer* pipeWirePlayer()
{
    static KPPipeWireServer server;
    if (!server.isRunning())
        qWarning("bench_playback: no PipeWire server: %s", qPrintable(server.error()));
    static std::shared_ptr<KPAudioDevice> device =
        server.isRunning() ? std::shared_ptr<KPAudioDevice>(KPPipeWireDevice::open({})) : nullptr;
    static std::unique_ptr<KPSoundPlayer> player =
        device ? std::make_unique<KPSoundPlayer>([] { return device; }) : nullptr;
    return player.get();
}

// A manager whose archive holds one recording: `events` presses and releases, `spacing` apart
// (in the order played, or shuffled in the list when asked).
struct Rig
{
    Rig(int events, double spacing, bool shuffled = false, KPSoundPlayer& player = ::player())
        : Rig(evenActions(events, spacing, shuffled), player)
    {}
    Rig(const QList<KPPianoKeyAction>& actions, KPSoundPlayer& player) : performer(player)
    {
        QFile file(folder.filePath(QStringLiteral("recordings")));
        if (file.open(QIODevice::WriteOnly))
            file.write(KPRecordingsArchive::encode(
                {{actions, QStringLiteral("Grand Piano"), QDateTime::currentDateTimeUtc(), {}}}));
        file.close();
        manager = std::make_unique<KPRecordingsManager>(file.fileName(), &performer.soundPlayer());
        manager->setPerformer(&performer);
    }

    // Plays the recording to its end, then runs the event loop `afterwardsMs` more, for what
    // sounds after the last event.
    void playThrough(int afterwardsMs = 0)
    {
        manager->startPlaybackForRecording(0);
        while (manager->playing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QElapsedTimer afterwards;
        afterwards.start();
        while (afterwards.elapsed() < afterwardsMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    static QList<KPPianoKeyAction> evenActions(int events, double spacing, bool shuffled)
    {
        QList<KPPianoKeyAction> actions;
        actions.reserve(events);
        for (int n = 0; n < events; ++n)
            actions.append({(n / 2) % 84, KPRecordedKeyState(n % 2), float(n * spacing)});
        if (shuffled)
            std::reverse(actions.begin(), actions.end());
        return actions;
    }

    QTemporaryDir folder;
    KPNotePerformer performer;
    std::unique_ptr<KPRecordingsManager> manager;
};

// 1,000 events 5 ms apart, replayed on the real clock: how far each one lands from its time.
void BM_PlaybackTiming(benchmark::State& state)
{
    Rig rig(1000, 0.005);
    const QList<KPPianoKeyAction> actions = rig.manager->recordings().at(0).actions;
    std::vector<double> errors;
    for (auto _ : state) {
        TimingKeys keys;
        rig.performer.addListener(&keys);
        const Clock::time_point start = Clock::now();
        rig.playThrough();
        for (size_t n = 0; n < std::min(keys.arrivals.size(), size_t(actions.size())); ++n) {
            const double due = double(actions[qsizetype(n)].interval);
            errors.push_back(
                std::abs(std::chrono::duration<double>(keys.arrivals[n] - start).count() - due));
        }
        rig.performer.removeListener(&keys);
    }
    double sum = 0;
    for (double error : errors)
        sum += error;
    state.counters["events"] = double(errors.size()) / double(state.iterations());
    state.counters["mean_error_ms"] = errors.empty() ? 0 : 1000 * sum / double(errors.size());
    state.counters["max_error_ms"] =
        errors.empty() ? 0 : 1000 * *std::max_element(errors.begin(), errors.end());
}
BENCHMARK(BM_PlaybackTiming)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// 1,000 events 5 ms apart, replayed through an output that mixes on its own (0: the silent
// output, 1: JACK, 2: PipeWire): how many took effect on their own frame, and how late the
// others came.
void BM_PlaybackFrames(benchmark::State& state)
{
    KPSoundPlayer* const outputs[] = {&player(), jackPlayer(), pipeWirePlayer()};
    KPSoundPlayer* const output = outputs[state.range(0)];
    if (!output) {
        state.SkipWithError(state.range(0) == 1 ? "JACK cannot run here"
                                                : "PipeWire cannot run here");
        return;
    }
    Rig rig(1000, 0.005, false, *output);
    const KPSampler::Placement before = output->sampler().placement();
    // The last events are rendered a period or so after they fall due.
    for (auto _ : state)
        rig.playThrough(200);
    const KPSampler::Placement after = output->sampler().placement();
    state.counters["on_frame"] = double(after.onFrame - before.onFrame);
    state.counters["late"] = double(after.late - before.late);
    state.counters["most_late_frames"] = double(after.mostLateFrames);
}
BENCHMARK(BM_PlaybackFrames)
    ->ArgName("output")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Starting the playback of 100,000 events, and the most heap it takes (the event list itself is
// shared with the recording, not copied).
void BM_StartLongPlayback(benchmark::State& state)
{
    Rig rig(100000, 0.01, state.range(0) != 0);
    size_t held = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        rig.manager->startPlaybackForRecording(0);
        held = std::max(held, mallinfo2().uordblks - before);
        state.PauseTiming();
        rig.manager->stopPlayback();
        state.ResumeTiming();
    }
    state.counters["heap_held_kB"] = double(held) / 1024.0;
}
BENCHMARK(BM_StartLongPlayback)
    ->ArgName("out_of_order")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
