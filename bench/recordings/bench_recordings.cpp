// Recordings archive figures: writing and reading the archive of 1,000 recordings of 500 key
// events each (target: 300 ms or less each way), and the size of that archive.

#include "recordings/KPRecordingsArchive.h"

#include <benchmark/benchmark.h>

namespace {

QList<KPPianoRecording> largeCollection()
{
    QList<KPPianoRecording> recordings;
    for (int r = 0; r < 1000; ++r) {
        KPPianoRecording recording{{},
                                   QStringLiteral("Grand Piano"),
                                   QDateTime::fromMSecsSinceEpoch(1765000000000 + r * 60000LL),
                                   r % 3 ? std::optional<QString>()
                                         : QStringLiteral("Take %1").arg(r)};
        for (int e = 0; e < 500; ++e) {
            const auto state = e % 2 ? KPRecordedKeyState::Released : KPRecordedKeyState::Pressed;
            recording.actions.append(
                {(r + e * 5) % 84, state, float(e) * 0.113f + float(r) * 1e-4f});
        }
        recordings.append(recording);
    }
    return recordings;
}

void BM_WriteArchive(benchmark::State& state)
{
    const auto recordings = largeCollection();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray archive = KPRecordingsArchive::encode(recordings);
        bytes = archive.size();
        benchmark::DoNotOptimize(archive.constData());
    }
    state.counters["MB"] = double(bytes) / 1e6;
}

void BM_ReadArchive(benchmark::State& state)
{
    const QByteArray archive = KPRecordingsArchive::encode(largeCollection());
    for (auto _ : state) {
        const auto recordings = KPRecordingsArchive::decode(archive);
        if (!recordings || recordings->size() != 1000)
            state.SkipWithError("the archive did not read back");
        benchmark::DoNotOptimize(recordings);
    }
    state.counters["MB"] = double(archive.size()) / 1e6;
}

} // namespace

BENCHMARK(BM_WriteArchive)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadArchive)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
