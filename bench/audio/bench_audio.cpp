// Sound engine figures: bank loading against plain decoding, mixing cost of a full voice pool,
// the time a key press takes to reach OpenAL, the memory a loaded bank keeps, and whether timed
// events reach the silent output before their frames.

#include "audio/KPAudioFileDecoder.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPSampler.h"
#include "audio/KPSoundBank.h"
#include "audio/KPSoundBankFile.h"
#include "audio/KPSoundPlayer.h"
#include "platform/KPBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const kInstruments[] = {"Grand Piano",    "Music Box", "Ahh Choir",
                                    "Electric Piano", "Accordion", "Banjo"};

QString bankPath(const QString& name)
{
    return KPBundle::pathForResource(name, QStringLiteral("plist"));
}

std::vector<QString> samplePaths(const QString& name)
{
    std::vector<QString> paths;
    if (const auto bank = KPSoundBankFile::read(bankPath(name))) {
        for (const auto& layer : bank->layers) {
            for (const auto& sample : layer.samples)
                paths.push_back(KPSoundBank::samplePath(sample.filename));
        }
    }
    return paths;
}

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

std::shared_ptr<KPAudioDevice> openLoopback()
{
    return KPLoopbackDevice::open();
}

long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Switching to the bank, from another one (the switch away is not timed).
void BM_SetSoundBank(benchmark::State& state, const char* name)
{
    const QString bank = QString::fromLatin1(name);
    if (bankPath(bank).isEmpty()) {
        state.SkipWithError("sound bank missing");
        return;
    }
    const QString other =
        bank == u"Music Box" ? QStringLiteral("Banjo") : QStringLiteral("Music Box");
    KPSampler sampler(openLoopback);
    for (auto _ : state) {
        state.PauseTiming();
        sampler.setSoundBank(other);
        state.ResumeTiming();
        sampler.setSoundBank(bank);
    }
}

// Only decoding the bank's files with libsndfile into 16-bit PCM.
void BM_DecodeOnly(benchmark::State& state, const char* name)
{
    const std::vector<QString> paths = samplePaths(QString::fromLatin1(name));
    if (paths.empty()) {
        state.SkipWithError("sound bank missing");
        return;
    }
    for (auto _ : state) {
        for (const QString& path : paths) {
            SF_INFO info{};
            SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
            std::vector<short> pcm(size_t(info.frames) * size_t(info.channels));
            benchmark::DoNotOptimize(sf_readf_short(file, pcm.data(), info.frames));
            sf_close(file);
        }
    }
}

// Ten seconds of 32 sounding (looping) voices of the grand piano, mixed as a device would.
void BM_Render32Voices(benchmark::State& state)
{
    if (bankPath(QStringLiteral("Grand Piano")).isEmpty()) {
        state.SkipWithError("sound bank missing");
        return;
    }
    auto loopback = std::shared_ptr<KPLoopbackDevice>(KPLoopbackDevice::open());
    KPSampler sampler([loopback] { return loopback; });
    sampler.setSoundBank(QStringLiteral("Grand Piano"));
    sampler.setLoopNotes(true);
    for (int note = 40; note < 40 + KPSampler::kSourceCount; ++note)
        sampler.noteOn(note, 1.0f);
    const int rate = loopback->sampleRate();
    constexpr int kChunk = 256;
    std::vector<float> buffer(kChunk * 2);
    double cpu = 0.0;
    for (auto _ : state) {
        const double start = threadSeconds();
        for (int done = 0; done < 10 * rate; done += kChunk)
            loopback->render(buffer.data(), kChunk);
        cpu += threadSeconds() - start;
    }
    state.counters["cpu_share_percent"] = 100.0 * cpu / (10.0 * double(state.iterations()));
}

// A key press: play() from the call until alSourcePlayv (and its error check) has returned, with
// every voice busy, so each press also steals one.
void BM_PlayLatency(benchmark::State& state)
{
    if (bankPath(QStringLiteral("Grand Piano")).isEmpty()) {
        state.SkipWithError("sound bank missing");
        return;
    }
    KPSoundPlayer player(openLoopback);
    std::vector<double> micros;
    uint32_t note = 24;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        player.play(note);
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
        note = note == 107 ? 24 : note + 1;
        if (micros.size() % 256 == 0) {
            state.PauseTiming();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            state.ResumeTiming();
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

// 1,000 presses and releases 5 ms apart through the silent output (a loopback device mixed in
// real time on its own thread), each handed to the player 100 ms before its time, as a playback
// does. An event lands on the frame of its time unless it arrives after the render has passed
// that frame: how many did, and the smallest margin an event arrived with.
void BM_TimedEventsSilentOutput(benchmark::State& state)
{
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    constexpr int kEvents = 1000;
    constexpr int kPeriodFrames = 256;
    std::shared_ptr<KPLoopbackDevice> device =
        KPLoopbackDevice::open(KPLoopbackDevice::kDefaultRate, KPLoopbackDevice::Mixing::RealTime);
    KPSoundPlayer player([device] { return device; });
    int late = 0;
    int64_t leastMargin = std::numeric_limits<int64_t>::max();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now() + 150ms;
        for (int n = 0; n < kEvents; ++n) {
            const Clock::time_point at = start + n * 5ms;
            while (Clock::now() < at - 100ms) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(200us);
            }
            const auto frame = player.sampler().frameAt(at);
            if (!frame) {
                state.SkipWithError("the silent output is not tied to the clock");
                return;
            }
            // Mixing may be under way from the frame mixed last to a period beyond it.
            const int64_t margin = *frame - (device->framesMixed() + kPeriodFrames);
            late += margin < 0;
            leastMargin = std::min(leastMargin, margin);
            const auto note = uint32_t(48 + (n / 2) % 24);
            if (n % 2 == 0)
                player.play(note, 100, at);
            else
                player.stop(note, at);
        }
        while (Clock::now() < start + kEvents * 5ms + 700ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    state.counters["events"] = kEvents;
    state.counters["late_events"] = double(late) / double(state.iterations());
    state.counters["least_margin_ms"] = 1000.0 * double(leastMargin) / device->sampleRate();
}

// Resident memory that loading the grand piano adds (over a bank without samples, so the
// device, context and voices are there in both) against the size of its decoded samples.
void BM_GrandPianoMemory(benchmark::State& state)
{
    const std::vector<QString> paths = samplePaths(QStringLiteral("Grand Piano"));
    QTemporaryDir dir;
    if (paths.empty() || !dir.isValid()) {
        state.SkipWithError("sound bank missing");
        return;
    }
    const QString shipped = KPBundle::resourceRoot();
    QFile::link(bankPath(QStringLiteral("Grand Piano")), dir.filePath("Grand Piano.plist"));
    long pcmBytes = 0;
    for (const QString& path : paths) {
        QFile::link(path, dir.filePath(QFileInfo(path).fileName()));
        SF_INFO info{};
        if (SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info)) {
            pcmBytes += long(info.frames) * info.channels * 2;
            sf_close(file);
        }
    }
    QFile empty(dir.filePath("Empty.plist"));
    empty.open(QIODevice::WriteOnly);
    empty.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
                "<array><integer>44100</integer></array>\n</plist>\n");
    empty.close();
    KPBundle::setResourceRoot(dir.path());

    double added = 0;
    for (auto _ : state) {
        KPSampler sampler(openLoopback);
        sampler.setSoundBank(QStringLiteral("Empty"));
        const long before = residentBytes();
        sampler.setSoundBank(QStringLiteral("Grand Piano"));
        added = double(residentBytes() - before);
    }
    KPBundle::setResourceRoot(shipped);
    state.counters["added_MiB"] = added / (1024.0 * 1024.0);
    state.counters["pcm_MiB"] = double(pcmBytes) / (1024.0 * 1024.0);
    state.counters["ratio"] = added / double(pcmBytes);
}

// Prints, after the run, each bank's median switch time against its median plain decode.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OutputOptions(OO_Tabular | OO_Color) : OO_Tabular)
    {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }

    void printRatios()
    {
        std::printf("\nsetSoundBank against decoding only (medians, target <= 1.3):\n");
        for (const char* name : kInstruments) {
            const auto load = m_medians.find(std::string("BM_SetSoundBank/") + name);
            const auto decode = m_medians.find(std::string("BM_DecodeOnly/") + name);
            if (load == m_medians.end() || decode == m_medians.end())
                continue;
            std::printf("  %-15s %8.2f ms / %8.2f ms = %.2f\n", name, load->second, decode->second,
                        load->second / decode->second);
        }
    }

private:
    std::map<std::string, double> m_medians;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    KPBundle::setResourceRoot(QStringLiteral(KP_SHIPPED_RESOURCES));
    // First, before other runs leave freed pages in the heap for it to reuse.
    benchmark::RegisterBenchmark("BM_GrandPianoMemory", BM_GrandPianoMemory)->Iterations(1);
    for (const char* name : kInstruments) {
        benchmark::RegisterBenchmark((std::string("BM_SetSoundBank/") + name).c_str(),
                                     BM_SetSoundBank, name)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.3)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark((std::string("BM_DecodeOnly/") + name).c_str(), BM_DecodeOnly,
                                     name)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.3)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::RegisterBenchmark("BM_Render32Voices", BM_Render32Voices)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("BM_PlayLatency", BM_PlayLatency)
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(5000);
    benchmark::RegisterBenchmark("BM_TimedEventsSilentOutput", BM_TimedEventsSilentOutput)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2)
        ->UseRealTime();

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
