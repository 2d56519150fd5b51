// MIDI file figures: writing and reading a recording of 100,000 key events.

#include "exchange/KPRecordingMidi.h"

#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK_MAIN();
