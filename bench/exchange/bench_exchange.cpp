// Export figures: writing and reading a MIDI file of 100,000 key events, and rendering a minute
// of music to a sound file.

#include "exchange/KPAudioExport.h"
#include "exchange/KPRecordingMidi.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

KPPianoRecording longRecording()
{
    KPPianoRecording recording;
    recording.soundBankName = QStringLiteral("Grand Piano");
    recording.recordingName = QStringLiteral("Long");
    recording.recordingDate = QDateTime::currentDateTime();
    recording.actions.reserve(100000);
    for (int i = 0; i < 50000; ++i) {
        const int32_t key = i % 84;
        recording.actions.append({key, KPRecordedKeyState::Pressed, 0.05f * float(i)});
        recording.actions.append({key, KPRecordedKeyState::Released, 0.05f * float(i) + 0.04f});
    }
    return recording;
}

void BM_MidiExport100kEvents(benchmark::State& state)
{
    const KPPianoRecording recording = longRecording();
    for (auto _ : state)
        benchmark::DoNotOptimize(KPRecordingMidi::toMidi(recording));
}
BENCHMARK(BM_MidiExport100kEvents)->Unit(benchmark::kMillisecond);

void BM_MidiImport100kEvents(benchmark::State& state)
{
    const QByteArray file = KPRecordingMidi::toMidi(longRecording());
    for (auto _ : state)
        benchmark::DoNotOptimize(KPRecordingMidi::fromMidi(file, QStringLiteral("Long")));
}
BENCHMARK(BM_MidiImport100kEvents)->Unit(benchmark::kMillisecond);

// 600 notes over 60 s: ten a second, each held 0.3 s, walking up and down three octaves.
void BM_AudioExportMinuteOf600Notes(benchmark::State& state)
{
    KPPianoRecording recording;
    recording.soundBankName = QStringLiteral("Grand Piano");
    for (int i = 0; i < 600; ++i) {
        const int32_t key = 14 + (i % 42 < 21 ? i % 21 : 20 - i % 21);
        recording.actions.append({key, KPRecordedKeyState::Pressed, 0.1f * float(i)});
        recording.actions.append({key, KPRecordedKeyState::Released, 0.1f * float(i) + 0.3f});
    }
    std::stable_sort(recording.actions.begin(), recording.actions.end(),
                     [](const auto& a, const auto& b) { return a.interval < b.interval; });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("minute.wav"));
    for (auto _ : state) {
        QString error;
        if (!KPAudioExport::write(recording, path, &error))
            state.SkipWithError(qPrintable(error));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["x_real_time"] =
        benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_rss_MiB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_AudioExportMinuteOf600Notes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
