#include "KPAudioTestRig.h"

#include "platform/KPBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace KPAudioTest {

double toneValue(const Tone& tone, int channel, long frame)
{
    const double t = double(frame) / tone.sampleRate;
    const double fundamental = std::sin(2 * M_PI * tone.frequency * t);
    const double harmonic = std::sin(2 * M_PI * 2 * tone.frequency * t);
    return tone.channelGains[size_t(channel)] * tone.amplitude *
           (fundamental + tone.secondHarmonic * harmonic);
}

bool writeTone(const QString& path, const Tone& tone)
{
    SF_INFO info{};
    info.samplerate = tone.sampleRate;
    info.channels = int(tone.channelGains.size());
    info.format = tone.format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const long frames = std::lround(tone.seconds * tone.sampleRate);
    std::vector<double> samples(size_t(frames) * size_t(info.channels));
    for (long frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < info.channels; ++channel)
            samples[size_t(frame * info.channels + channel)] = toneValue(tone, channel, frame);
    }
    const bool written = sf_writef_double(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

double level(const std::vector<float>& stereo, int channel, size_t from, size_t frames)
{
    const size_t total = stereo.size() / 2;
    const size_t end = std::min(total, frames == size_t(-1) ? total : from + frames);
    if (from >= end)
        return 0.0;
    double sum = 0.0;
    for (size_t i = from; i < end; ++i)
        sum += double(stereo[2 * i + size_t(channel)]) * stereo[2 * i + size_t(channel)];
    return std::sqrt(sum / double(end - from));
}

double cents(double measured, double expected)
{
    return 1200.0 * std::log2(measured / expected);
}

// The lag of k periods (k chosen so the lag spans a few hundred samples, for precision) that makes
// the sound most like itself, refined between samples; searched within 40 cents of the expected
// period, which keeps k - 1 and k + 1 periods out of reach.
namespace {

std::vector<double> monoMix(const std::vector<float>& stereo, size_t from, size_t frames)
{
    const size_t end =
        std::min(stereo.size() / 2, frames == size_t(-1) ? size_t(-1) : from + frames);
    std::vector<double> mono;
    for (size_t i = from; i < end; ++i)
        mono.push_back(double(stereo[2 * i]) + stereo[2 * i + 1]);
    return mono;
}

} // namespace

double estimatePitch(const std::vector<float>& stereo, int sampleRate, double expected, size_t from,
                     size_t frames)
{
    const std::vector<double> mono = monoMix(stereo, from, frames);
    const double period = sampleRate / expected;
    const int k = std::clamp(int(std::ceil(256.0 / period)), 1, 20);
    const double lag = k * period;
    const long low = std::max(2L, long(std::floor(lag * std::pow(2.0, -40.0 / 1200))));
    const long high = long(std::ceil(lag * std::pow(2.0, 40.0 / 1200))) + 1;
    const long window = long(mono.size()) - high - 1;
    if (window < 2 * long(period) + 64)
        return 0.0;

    auto difference = [&](long m) {
        double diff = 0.0, energy = 0.0;
        for (long t = 0; t < window; ++t) {
            const double a = mono[size_t(t)], b = mono[size_t(t + m)];
            diff += (a - b) * (a - b);
            energy += a * a + b * b;
        }
        return energy > 0 ? diff / energy : 1.0;
    };
    std::vector<double> d(size_t(high - low + 2));
    for (long m = low - 1; m <= high; ++m)
        d[size_t(m - low + 1)] = difference(m);
    long best = low;
    for (long m = low; m < high; ++m) {
        if (d[size_t(m - low + 1)] < d[size_t(best - low + 1)])
            best = m;
    }
    const double before = d[size_t(best - low)], at = d[size_t(best - low + 1)],
                 after = d[size_t(best - low + 2)];
    // Not periodic, or the best match sits at the edge of the search: not near the expected pitch.
    if (at > 0.2 || best == low || best == high - 1)
        return 0.0;
    const double curvature = before - 2 * at + after;
    const double shift = curvature > 0 ? 0.5 * (before - after) / curvature : 0.0;
    return sampleRate * k / (double(best) + shift);
}

// The Hann-windowed spectrum sampled every 2 cents around the expected pitch, the peak refined
// between its neighbours on a logarithmic scale.
double fundamentalPartial(const std::vector<float>& stereo, int sampleRate, double expected,
                          size_t from, size_t frames)
{
    std::vector<double> x = monoMix(stereo, from, frames);
    const size_t n = x.size();
    if (n < 64)
        return 0.0;
    for (size_t i = 0; i < n; ++i)
        x[i] *= 0.5 * (1.0 - std::cos(2 * M_PI * double(i) / double(n - 1)));
    // Goertzel's recurrence: the spectrum at one frequency for one multiplication per sample.
    auto logMagnitude = [&](double frequency) {
        const double coefficient = 2.0 * std::cos(2 * M_PI * frequency / sampleRate);
        double s1 = 0.0, s2 = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double s0 = x[i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        return 0.5 * std::log(std::max(power, 0.0) + 1e-60);
    };
    constexpr int kRange = 60, kStep = 2;
    std::vector<double> spectrum;
    for (int c = -kRange; c <= kRange; c += kStep)
        spectrum.push_back(logMagnitude(expected * std::pow(2.0, c / 1200.0)));
    const size_t best =
        size_t(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin());
    if (best == 0 || best == spectrum.size() - 1)
        return 0.0;
    const double before = spectrum[best - 1], at = spectrum[best], after = spectrum[best + 1];
    const double curvature = before - 2 * at + after;
    const double shift = curvature < 0 ? 0.5 * (before - after) / curvature : 0.0;
    const double centsAway = -kRange + kStep * (double(best) + shift);
    return expected * std::pow(2.0, centsAway / 1200.0);
}

double amplitudeAt(const std::vector<float>& stereo, int sampleRate, double frequency, size_t from)
{
    const size_t frames = stereo.size() / 2;
    if (from >= frames)
        return 0.0;
    // A whole number of periods, so the projection is clean.
    const size_t periods = size_t(double(frames - from) * frequency / sampleRate);
    const size_t count = size_t(std::floor(double(periods) * sampleRate / frequency));
    double re = 0.0, im = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double x = double(stereo[2 * (from + i)]) + stereo[2 * (from + i) + 1];
        const double phase = 2 * M_PI * frequency * double(i) / sampleRate;
        re += x * std::cos(phase);
        im += x * std::sin(phase);
    }
    return count ? 2.0 * std::hypot(re, im) / double(count) : 0.0;
}

std::vector<float> render(KPLoopbackDevice* device, double seconds)
{
    if (!device)
        return {};
    return device->render(int(std::lround(seconds * device->sampleRate())));
}

AudioRig::AudioRig() : m_devices(std::make_shared<Devices>()) {}

QObject* LateClock::wakeAt(QObject* owner, TimePoint when, Precision precision,
                           std::function<void()> ring)
{
    return m_clock.wakeAt(owner, when + m_lateness, precision, std::move(ring));
}

ClockedPlayer::ClockedPlayer(KPClock::Duration lateness)
    : m_clock(lateness), m_start(m_clock.now()), m_lateness(lateness)
{
    m_rig.device()->anchor(m_start);
}

KPClock::TimePoint ClockedPlayer::at(double seconds) const
{
    return m_start +
           std::chrono::duration_cast<KPClock::Duration>(std::chrono::duration<double>(seconds));
}

std::vector<float> ClockedPlayer::render(double seconds)
{
    constexpr int kBlock = 64;
    KPLoopbackDevice* device = m_rig.device();
    const int rate = device->sampleRate();
    std::vector<float> sound;
    for (long block = std::lround(seconds * rate / kBlock); block > 0; --block) {
        m_rendered += kBlock;
        m_clock.advanceTo(at(double(m_rendered) / rate) + m_lateness);
        const auto chunk = device->render(kBlock);
        sound.insert(sound.end(), chunk.begin(), chunk.end());
    }
    return sound;
}

AudioRig AudioRig::withSampler(const QString& bank)
{
    AudioRig rig;
    rig.m_sampler = std::make_unique<KPSampler>(rig.opener());
    if (!bank.isEmpty())
        rig.m_sampler->setSoundBank(bank);
    return rig;
}

AudioRig AudioRig::withPlayer()
{
    AudioRig rig;
    rig.m_player = std::make_unique<KPSoundPlayer>(rig.opener());
    return rig;
}

KPAudioDeviceOpener AudioRig::opener() const
{
    return [devices = m_devices]() -> std::shared_ptr<KPAudioDevice> {
        std::shared_ptr<KPLoopbackDevice> device = devices->open.lock();
        if (!device) {
            device = KPLoopbackDevice::open();
            devices->open = device;
            ++devices->opened;
        }
        return device;
    };
}

KPLoopbackDevice* AudioRig::device() const
{
    return m_devices->open.lock().get();
}

int AudioRig::devicesOpened() const
{
    return m_devices->opened;
}

KPSampler& AudioRig::sampler() const
{
    return m_player ? m_player->sampler() : *m_sampler;
}

std::vector<float> AudioRig::render(double seconds) const
{
    return KPAudioTest::render(device(), seconds);
}

std::vector<float> AudioRig::pump(double seconds, const std::function<void(double)>& probe) const
{
    QElapsedTimer clock;
    clock.start();
    std::vector<float> sound;
    long rendered = 0;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double now = double(clock.nsecsElapsed()) / 1e9;
        KPLoopbackDevice* loopback = device();
        const long due = std::lround(std::min(now, seconds) * loopback->sampleRate());
        if (due > rendered) {
            const auto chunk = loopback->render(int(due - rendered));
            sound.insert(sound.end(), chunk.begin(), chunk.end());
            rendered = due;
        }
        if (probe)
            probe(now);
        if (now >= seconds)
            return sound;
        QThread::usleep(300);
    }
}

int AudioRig::state(int voice) const
{
    ALint value = 0;
    alGetSourcei(sampler().source(voice).sourceId(), AL_SOURCE_STATE, &value);
    return value;
}

int AudioRig::playingVoices(int note) const
{
    int count = 0;
    for (int voice = 0; voice < KPSampler::kSourceCount; ++voice)
        count += sampler().source(voice).noteIndex == note && state(voice) == AL_PLAYING;
    return count;
}

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    FILE* file = std::tmpfile();
    if (!file)
        return;
    m_file = dup(fileno(file));
    std::fclose(file);
    m_saved = dup(STDOUT_FILENO);
    dup2(m_file, STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
    text();
}

QString StdoutCapture::text()
{
    if (m_done || m_file < 0)
        return m_text;
    m_done = true;
    std::fflush(stdout);
    dup2(m_saved, STDOUT_FILENO);
    close(m_saved);
    QFile file;
    if (file.open(m_file, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        file.seek(0);
        m_text = QString::fromUtf8(file.readAll());
    }
    return m_text;
}

namespace {

struct NamedTone
{
    const char* fileName;
    Tone tone;
};

Tone tone(double frequency, double seconds)
{
    Tone t;
    t.frequency = frequency;
    t.seconds = seconds;
    return t;
}

} // namespace

FixtureResources::FixtureResources()
{
    if (!m_dir.isValid())
        return;
    const QDir banks(QStringLiteral(KP_AUDIO_FIXTURE_BANKS));
    for (const QString& name : banks.entryList({QStringLiteral("*.plist")}, QDir::Files)) {
        if (!QFile::copy(banks.filePath(name), m_dir.filePath(name)))
            return;
    }

    Tone leftOnly = tone(440.0, 1.0);
    leftOnly.channelGains = {1.0, 0.0};
    Tone threeChannels = tone(440.0, 0.2);
    threeChannels.channelGains = {1.0, 1.0, 1.0};
    Tone click = tone(1000.0, 0.05);
    Tone mp3Click = click;
    mp3Click.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    // Stereo FLAC, twice as loud in its second harmonic as in its fundamental: a bright layer.
    Tone bright = tone(261.6256, 1.0);
    bright.secondHarmonic = 2.0;
    bright.amplitude = 0.2;
    bright.channelGains = {1.0, 0.8};
    bright.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    Tone banjo = tone(440.0, 2.0);
    banjo.sampleRate = 22050;
    banjo.secondHarmonic = 0.5;
    const NamedTone tones[] = {
        {"sine_a4.wav", tone(440.0, 1.0)},
        {"sine_c2.wav", tone(65.4064, 1.0)},
        {"sine_c4.wav", tone(261.6256, 1.0)},
        {"bright_c4.flac", bright},
        {"sine_c6.wav", tone(1046.5023, 1.0)},
        {"sine_long.wav", tone(130.8128, 3.0)},
        {"sine_short.wav", tone(523.2511, 0.05)},
        {"left_only_a4.wav", leftOnly},
        {"three_channels.wav", threeChannels},
        {"piano_a4.wav", tone(440.0, 3.0)},
        {"banjo_a4.wav", banjo},
        {"click.wav", click},
        {"metronome.mp3", mp3Click},
    };
    for (const NamedTone& named : tones) {
        if (!writeTone(m_dir.filePath(QString::fromLatin1(named.fileName)), named.tone))
            return;
    }
    KPBundle::setResourceRoot(m_dir.path());
    m_valid = true;
}

FixtureResources::~FixtureResources()
{
    KPBundle::setResourceRoot(QString());
}

} // namespace KPAudioTest
