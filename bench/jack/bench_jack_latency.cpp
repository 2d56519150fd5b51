// MIDI note-on to first sound, measured inside a JACK graph: for each period (64, 128, 256 frames
// at 48 kHz) a dummy JACK server of its own, the program under test with its output and its MIDI
// input on JACK (it and the probe below read the same OpenAL Soft configuration), and two clients
// of ours: one sends a note-on at the first frame of a cycle or at a random frame of it (as a
// sequencer does), the other finds the first sample of
// the note above -50 dBFS on the program's output ports. Two clients, because one doing both would
// close a cycle in the graph, which JACK breaks with a period of delay. The piano is measured
// beside a bare OpenAL Soft program (openal_probe) in the same graph, which plays a click (loud
// from its first sample) through OpenAL Soft's own JACK backend; the piano's note takes about 1.2
// ms of its own attack to reach -50 dBFS. FluidSynth, where installed, plays the same notes as
// the peer.
//
// Usage: bench_jack_latency [<touchpiano> <openal_probe> <alsoft.conf>] (by default the ones of
// this build). Set in the environment: KP_JACK_NOTES, the number of notes a row (200);
// KP_JACK_PERIODS, the periods to run ("64,128,256"); KP_JACK_PEERS=0 to measure the piano
// alone; KP_JACK_REALTIME=1 to run the server at real-time priority, as a studio machine does
// (with the machine loaded, say by `stress-ng --cpu 2`, that is the case that counts).

#include "KPJackServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kSampleRate = 48000;
const float kThreshold = std::pow(10.0f, -50.0f / 20.0f);
// The General MIDI piano of the peer.
constexpr const char* kSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

// Both our clients, on the default server.
class Bench
{
public:
    Bench()
    {
        m_sender = jack_client_open("bench-sender", JackNoStartServer, nullptr);
        m_receiver = jack_client_open("bench-receiver", JackNoStartServer, nullptr);
        if (!m_sender || !m_receiver)
            return;
        m_midiOut =
            jack_port_register(m_sender, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        for (size_t i = 0; i < m_inputs.size(); ++i)
            m_inputs[i] = jack_port_register(m_receiver, ("in_" + std::to_string(i + 1)).c_str(),
                                             JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_sender, &Bench::send, this);
        jack_set_process_callback(m_receiver, &Bench::receive, this);
        m_ready = jack_activate(m_sender) == 0 && jack_activate(m_receiver) == 0;
    }
    ~Bench()
    {
        if (m_sender)
            jack_client_close(m_sender);
        if (m_receiver)
            jack_client_close(m_receiver);
    }

    bool ready() const { return m_ready; }

    // Connects to the first of the program's MIDI inputs that is there and to every audio output
    // of another client; false when they are not there yet.
    bool connect(const QStringList& midiInputs)
    {
        std::string midiInput;
        for (const QString& name : midiInputs) {
            if (jack_port_by_name(m_sender, qPrintable(name))) {
                midiInput = name.toStdString();
                break;
            }
        }
        if (midiInput.empty())
            return false;
        const char** outputs =
            jack_get_ports(m_receiver, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        std::vector<std::string> found;
        for (size_t i = 0; outputs && outputs[i]; ++i) {
            const std::string name = outputs[i];
            if (!name.starts_with("system:") && !name.starts_with("bench-"))
                found.push_back(name);
        }
        jack_free(outputs);
        // Both channels, so that a client still registering its ports is waited for.
        if (found.size() < m_inputs.size())
            return false;
        jack_connect(m_sender, jack_port_name(m_midiOut), midiInput.c_str());
        for (size_t i = 0; i < found.size() && i < m_inputs.size(); ++i)
            jack_connect(m_receiver, found[i].c_str(), jack_port_name(m_inputs[i]));
        return true;
    }

    // Frames from the note-on to the first sample above -50 dBFS; nothing when none came
    // within a second.
    std::optional<int64_t> strike(int note, uint32_t frame)
    {
        m_frame = frame;
        m_detected = -1;
        m_armed = true;
        m_request = note;
        for (int waited = 0; waited < 1000 && m_detected < 0; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_armed = false;
        m_request = -note;
        if (m_detected < 0)
            return std::nullopt;
        return m_detected - int64_t(m_sent);
    }

private:
    static int send(jack_nframes_t frames, void* self)
    {
        auto* bench = static_cast<Bench*>(self);
        void* buffer = jack_port_get_buffer(bench->m_midiOut, frames);
        jack_midi_clear_buffer(buffer);
        const int request = bench->m_request.exchange(0);
        if (request != 0) {
            const unsigned char message[3] = {static_cast<unsigned char>(request > 0 ? 0x90 : 0x80),
                                              static_cast<unsigned char>(std::abs(request)),
                                              static_cast<unsigned char>(request > 0 ? 127 : 0)};
            const jack_nframes_t at = request > 0 ? std::min(bench->m_frame.load(), frames - 1) : 0;
            jack_midi_event_write(buffer, at, message, 3);
            if (request > 0)
                bench->m_sent = jack_last_frame_time(bench->m_sender) + at;
        }
        return 0;
    }

    static int receive(jack_nframes_t frames, void* self)
    {
        auto* bench = static_cast<Bench*>(self);
        if (!bench->m_armed)
            return 0;
        std::array<const float*, 2> channels{};
        for (size_t c = 0; c < channels.size(); ++c)
            channels[c] =
                static_cast<const float*>(jack_port_get_buffer(bench->m_inputs[c], frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            for (const float* channel : channels) {
                if (std::abs(channel[i]) > kThreshold) {
                    bench->m_detected = int64_t(jack_last_frame_time(bench->m_receiver)) + i;
                    bench->m_armed = false;
                    return 0;
                }
            }
        }
        return 0;
    }

    jack_client_t* m_sender = nullptr;
    jack_client_t* m_receiver = nullptr;
    jack_port_t* m_midiOut = nullptr;
    std::array<jack_port_t*, 2> m_inputs{};
    bool m_ready = false;
    std::atomic<int> m_request = 0;
    std::atomic<uint32_t> m_frame = 0;
    std::atomic<jack_nframes_t> m_sent = 0;
    std::atomic<bool> m_armed = false;
    std::atomic<int64_t> m_detected = -1;
};

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

void measure(const QString& what, const QString& program, const QStringList& arguments,
             const QStringList& midiInputs, const QString& configuration, int period, int notes,
             double spacing, bool randomFrames)
{
    QProcess process;
    // A home of its own, so that the user's settings and recordings stay as they are.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("ALSOFT_DRIVERS"), QStringLiteral("jack"));
    environment.insert(QStringLiteral("ALSOFT_CONF"), configuration);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    // Its log, kept where notes went missing.
    const QString log = QDir::temp().filePath(
        QStringLiteral("jack-latency-%1-%2.log").arg(QFileInfo(program).baseName()).arg(period));
    process.setStandardErrorFile(log);
    process.start(program, arguments);
    process.waitForStarted();
    Bench bench;
    bool connected = false;
    for (int tries = 0; bench.ready() && tries < 200 && !connected; ++tries) {
        QThread::msleep(50);
        connected = bench.connect(midiInputs);
    }
    if (!connected) {
        std::printf("%-28s period %3d: could not connect to it\n", qPrintable(what), period);
        process.kill();
        process.waitForFinished();
        return;
    }
    QThread::msleep(1500);
    std::vector<double> frames;
    int missed = 0;
    std::mt19937 random{uint32_t(period)};
    std::uniform_int_distribution<uint32_t> frameOf(0, uint32_t(period - 1));
    for (int i = -3; i < notes; ++i) {
        const std::optional<int64_t> latency = bench.strike(60, randomFrames ? frameOf(random) : 0);
        if (i >= 0) {
            if (latency)
                frames.push_back(double(*latency));
            else
                ++missed;
        }
        QThread::msleep(ulong(spacing * 1000));
    }
    const bool ended = process.waitForFinished(0) || process.state() == QProcess::NotRunning;
    if (ended || missed > 0)
        std::printf("%-28s period %3d: %s, its log is %s\n", qPrintable(what), period,
                    ended ? "it ended during the run" : "notes went missing", qPrintable(log));
    else
        QFile::remove(log);
    process.terminate();
    if (!process.waitForFinished(3000))
        process.kill();
    if (frames.empty()) {
        std::printf("%-28s period %3d: no note heard\n", qPrintable(what), period);
        return;
    }
    const auto ms = [](double f) {
        return f * 1000.0 / kSampleRate;
    };
    const double median = percentile(frames, 0.5);
    const double p99 = percentile(frames, 0.99);
    const auto [min, max] = std::minmax_element(frames.begin(), frames.end());
    std::printf("%-28s period %3d, %s: median %6.2f ms (%4.2f periods), p99 %6.2f ms (%4.2f), "
                "max %6.2f ms (%4.2f), spread %5.2f ms, %zu notes, %d missed\n",
                qPrintable(what), period, randomFrames ? "random frame" : "first frame ",
                ms(median), median / period, ms(p99), p99 / period, ms(*max), *max / period,
                ms(*max - *min), frames.size(), missed);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const bool given = argc >= 4;
    const QString piano = QString::fromLocal8Bit(given ? argv[1] : KP_TOUCHPIANO);
    const QString probe = QString::fromLocal8Bit(given ? argv[2] : KP_OPENAL_PROBE);
    const QString configuration = QString::fromLocal8Bit(given ? argv[3] : KP_ALSOFT_CONF);
    const int notes = qEnvironmentVariableIntValue("KP_JACK_NOTES") > 0
                          ? qEnvironmentVariableIntValue("KP_JACK_NOTES")
                          : 200;
    // The peer, where it is installed (fluidsynth and fluid-soundfont-gm).
    const QString fluidSynth = QFile::exists(QString::fromLatin1(kSoundFont))
                                   ? QStandardPaths::findExecutable(QStringLiteral("fluidsynth"))
                                   : QString();
    const bool peers = qEnvironmentVariable("KP_JACK_PEERS") != QStringLiteral("0");
    const KPJackServer::Scheduling scheduling =
        qEnvironmentVariableIntValue("KP_JACK_REALTIME") == 1 ? KPJackServer::Scheduling::Realtime
                                                              : KPJackServer::Scheduling::Normal;
    QList<int> periods;
    for (const QString& period :
         qEnvironmentVariable("KP_JACK_PERIODS", QStringLiteral("64,128,256")).split(u','))
        periods.append(period.toInt());
    std::printf("JACK latency: %d notes a row, server %s\n", notes,
                scheduling == KPJackServer::Scheduling::Realtime ? "at real-time priority"
                                                                 : "at normal priority");
    for (const int period : periods) {
        KPJackServer server(period, kSampleRate, scheduling);
        if (!server.isRunning()) {
            std::printf("JACK latency: skipped, %s\n", qPrintable(server.error()));
            return 0;
        }
        // The piano releases a note over half a second; the probe's click lasts 2 ms.
        for (const bool randomFrames : {false, true}) {
            if (peers)
                measure(QStringLiteral("bare OpenAL Soft probe"), probe, {}, {"probe:in"},
                        configuration, period, notes, 0.1, randomFrames);
            if (peers && !fluidSynth.isEmpty())
                measure(QStringLiteral("FluidSynth"), fluidSynth,
                        {QStringLiteral("-a"), QStringLiteral("jack"), QStringLiteral("-m"),
                         QStringLiteral("jack"), QStringLiteral("-o"),
                         QStringLiteral("audio.jack.autoconnect=0"),
                         QString::fromLatin1(kSoundFont)},
                        {"fluidsynth-midi:midi_00", "fluidsynth:midi_00", "fluidsynth-midi:midi"},
                        configuration, period, notes, 0.7, randomFrames);
            // Its MIDI input lives on its JACK output's client while the sound goes there.
            measure(QStringLiteral("Touch Piano"), piano,
                    {QStringLiteral("--idiom"), QStringLiteral("tablet")},
                    {"Touch Piano output:Touch Piano", "Touch Piano:Touch Piano"}, configuration,
                    period, notes, 0.7, randomFrames);
        }
    }
    return 0;
}
