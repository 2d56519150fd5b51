// Key to sound on the desktop's own output: a PipeWire server of its own with a null sink (the
// tests' rig), a virtual X server, and 45 computer-key presses sent with XTest, each once the
// sink has been quiet for a while. The sink's monitor is captured with a PipeWire stream of
// ours, each sample timed by the graph's own clock (the capture's pw_time, on CLOCK_MONOTONIC
// like the key times); the onset of a press is the first sample above -50 dBFS after it.
// Measured beside the piano: FluidSynth through PulseAudio (pipewire-pulse), its notes sent as
// commands to its shell, and the floor, a bare X window of ours whose PipeWire stream writes a
// full-scale click in the first cycle after it receives the key. The capture and the floor ask
// for the piano's quantum, so the graph runs at it throughout.
//
// Usage: bench_desktop_latency [<touchpiano>] (by default the one of this build). Set in the
// environment: KP_DESKTOP_PRESSES, the presses a row (45); KP_DESKTOP_PEERS=0 to measure the
// piano alone.

#include "KPPipeWireServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <sys/prctl.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kQuantum = 128;
const float kThreshold = std::pow(10.0f, -50.0f / 20.0f);
// Quiet for this long before a press: the last note has died away.
constexpr int64_t kQuietNanoseconds = 150'000'000;
// A press later than this has no onset: the subject did not sound.
constexpr int64_t kMissNanoseconds = 500'000'000;
constexpr const char* kSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

int64_t monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

QByteArray latencyProperty()
{
    return QByteArray::number(kQuantum) + '/' + QByteArray::number(kRate);
}

// The F32 stereo format at the graph's rate, for a stream's EnumFormat.
const spa_pod* stereoFormat(spa_pod_builder& builder)
{
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.channels = 2;
    format.rate = kRate;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    return spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format);
}

// One PipeWire stream on a thread loop of its own, its process callback given by the owner.
class Stream
{
public:
    Stream(const char* name, pw_properties* properties, pw_direction direction,
           std::function<void(pw_stream*)> process)
        : m_process(std::move(process))
    {
        m_loop = pw_thread_loop_new(name, nullptr);
        pw_thread_loop_start(m_loop);
        pw_thread_loop_lock(m_loop);
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.process = [](void* self) {
                auto* stream = static_cast<Stream*>(self);
                stream->m_process(stream->m_stream);
            };
            return e;
        }();
        m_stream =
            pw_stream_new_simple(pw_thread_loop_get_loop(m_loop), name, properties, &events, this);
        std::array<uint8_t, 1024> space{};
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, space.data(), uint32_t(space.size()));
        const spa_pod* params[] = {stereoFormat(builder)};
        m_connected = m_stream && pw_stream_connect(m_stream, direction, PW_ID_ANY,
                                                    pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT |
                                                                    PW_STREAM_FLAG_MAP_BUFFERS |
                                                                    PW_STREAM_FLAG_RT_PROCESS),
                                                    params, 1) == 0;
        pw_thread_loop_unlock(m_loop);
    }
    ~Stream()
    {
        pw_thread_loop_lock(m_loop);
        if (m_stream)
            pw_stream_destroy(m_stream);
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
        pw_thread_loop_destroy(m_loop);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    bool isConnected() const { return m_connected; }

private:
    std::function<void(pw_stream*)> m_process;
    pw_thread_loop* m_loop = nullptr;
    pw_stream* m_stream = nullptr;
    bool m_connected = false;
};

// The null sink's monitor: when the sound last rose above the threshold after a quiet stretch,
// and when it was last above it, both on the graph's clock.
class Monitor
{
public:
    Monitor()
        : m_stream("bench-monitor",
                   pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                                     PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_TARGET_OBJECT,
                                     KPPipeWireServer::kSink, PW_KEY_NODE_LATENCY,
                                     latencyProperty().constData(), nullptr),
                   PW_DIRECTION_INPUT, [this](pw_stream* stream) { process(stream); })
    {}
    bool isConnected() const { return m_stream.isConnected(); }
    int64_t lastLoud() const { return m_lastLoud.load(); }
    bool hearing() const { return m_buffers.load() > 0; }
    int quantum() const { return m_quantum.load(); }
    // The first onset at or after `from`, if one was heard.
    std::optional<int64_t> onsetAfter(int64_t from) const
    {
        std::lock_guard lock(m_lock);
        const auto found = std::lower_bound(m_onsets.begin(), m_onsets.end(), from);
        if (found == m_onsets.end())
            return std::nullopt;
        return *found;
    }

private:
    // A buffer's first frame is timed at the start of the cycle that hands it to us
    // (pw_time.now, less the delay the capture reports): the figures include the monitor's own
    // passing-on, which the floor shows every client pays alike.
    void process(pw_stream* stream)
    {
        pw_buffer* buffer = pw_stream_dequeue_buffer(stream);
        if (!buffer)
            return;
        pw_time time{};
        pw_stream_get_time_n(stream, &time, sizeof time);
        const spa_data& data = buffer->buffer->datas[0];
        if (data.data && time.rate.denom > 0) {
            const double tick = 1e9 * time.rate.num / time.rate.denom;
            const int64_t start = time.now - int64_t(double(time.delay) * tick);
            const auto* samples =
                static_cast<const float*>(SPA_PTROFF(data.data, data.chunk->offset, void));
            const uint32_t frames = data.chunk->size / (2 * sizeof(float));
            m_quantum = int(frames);
            for (uint32_t frame = 0; frame < frames; ++frame) {
                if (std::max(std::abs(samples[2 * frame]), std::abs(samples[2 * frame + 1])) <
                    kThreshold)
                    continue;
                const int64_t at = start + int64_t(frame * 1e9 / kRate);
                if (at - m_lastLoud.load() > kQuietNanoseconds / 2) {
                    std::lock_guard lock(m_lock);
                    m_onsets.push_back(at);
                }
                m_lastLoud = at;
            }
            ++m_buffers;
        }
        pw_stream_queue_buffer(stream, buffer);
    }

    std::atomic<int64_t> m_lastLoud = 0;
    std::atomic<int> m_buffers = 0;
    std::atomic<int> m_quantum = 0;
    mutable std::mutex m_lock;
    std::vector<int64_t> m_onsets;
    Stream m_stream;
};

// The floor: a window of ours that takes the key from the X server, and a playback stream that
// writes a click in the first cycle after.
class Floor
{
public:
    explicit Floor(const char* display)
        : m_stream("bench-floor",
                   pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                     PW_KEY_NODE_LATENCY, latencyProperty().constData(), nullptr),
                   PW_DIRECTION_OUTPUT, [this](pw_stream* stream) { process(stream); })
    {
        m_display = XOpenDisplay(display);
        if (!m_display)
            return;
        m_window =
            XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 200, 200, 0, 0, 0);
        XStoreName(m_display, m_window, "Bench Floor");
        XSelectInput(m_display, m_window, KeyPressMask);
        XMapWindow(m_display, m_window);
        XSync(m_display, False);
        m_reader = std::thread([this] { read(); });
    }
    ~Floor()
    {
        if (!m_display)
            return;
        m_done = true;
        if (m_reader.joinable())
            m_reader.join();
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;
    bool isReady() const { return m_display && m_stream.isConnected(); }
    Window window() const { return m_window; }

private:
    void read()
    {
        const int fd = ConnectionNumber(m_display);
        while (!m_done) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == KeyPress)
                    m_pressed = true;
            }
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(fd, &readable);
            timeval wait{0, 100'000};
            select(fd + 1, &readable, nullptr, nullptr, &wait);
        }
    }

    void process(pw_stream* stream)
    {
        pw_buffer* buffer = pw_stream_dequeue_buffer(stream);
        if (!buffer)
            return;
        spa_data& data = buffer->buffer->datas[0];
        if (data.data) {
            uint32_t frames = data.maxsize / (2 * sizeof(float));
            if (buffer->requested)
                frames = std::min<uint32_t>(frames, uint32_t(buffer->requested));
            auto* out = static_cast<float*>(data.data);
            const float value = m_pressed.exchange(false) ? 0.5f : 0.0f;
            std::fill_n(out, size_t(frames) * 2, value);
            data.chunk->offset = 0;
            data.chunk->stride = 2 * sizeof(float);
            data.chunk->size = frames * 2 * sizeof(float);
        }
        pw_stream_queue_buffer(stream, buffer);
    }

    Stream m_stream;
    Display* m_display = nullptr;
    Window m_window = 0;
    std::thread m_reader;
    std::atomic<bool> m_done = false;
    std::atomic<bool> m_pressed = false;
};

// Sends keys with XTest to the window that has the focus.
class Keyboard
{
public:
    explicit Keyboard(const char* display) : m_display(XOpenDisplay(display)) {}
    ~Keyboard()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;
    bool isReady() const { return m_display != nullptr; }

    // The shown top-level window of that name, or 0.
    Window find(const char* name) const
    {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(m_display, DefaultRootWindow(m_display), &root, &parent, &children, &count))
            return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            char* title = nullptr;
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(m_display, children[i], &attributes) &&
                attributes.map_state == IsViewable && XFetchName(m_display, children[i], &title) &&
                title) {
                if (std::string(title) == name)
                    found = children[i];
                XFree(title);
            }
        }
        XFree(children);
        return found;
    }
    void focus(Window window)
    {
        XSetInputFocus(m_display, window, RevertToParent, CurrentTime);
        XSync(m_display, False);
    }
    // When the press went to the server.
    int64_t press(KeySym key)
    {
        const KeyCode code = XKeysymToKeycode(m_display, key);
        const int64_t at = monotonicNow();
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XFlush(m_display);
        return at;
    }
    void release(KeySym key)
    {
        XTestFakeKeyEvent(m_display, XKeysymToKeycode(m_display, key), False, CurrentTime);
        XFlush(m_display);
    }

private:
    Display* m_display;
};

struct Row
{
    std::string name;
    std::vector<double> milliseconds;
    int missed = 0;
};

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t at =
        std::min(values.size() - 1, size_t(std::ceil(fraction * double(values.size())) - 1));
    return values[at];
}

// Presses `presses` times, each once the monitor has been quiet; `press` returns when it sent.
Row measure(const std::string& name, Monitor& monitor, int presses,
            const std::function<int64_t()>& press, const std::function<void()>& release)
{
    Row row{name, {}, 0};
    for (int i = 0; i < presses; ++i) {
        while (monotonicNow() - monitor.lastLoud() < kQuietNanoseconds)
            QThread::msleep(10);
        // A press at a random place in the graph's cycle.
        QThread::usleep(unsigned(std::rand() % 3000));
        const int64_t sent = press();
        QThread::msleep(60);
        release();
        std::optional<int64_t> onset;
        const QDeadlineTimer deadline(kMissNanoseconds / 1'000'000 + 500);
        while (!(onset = monitor.onsetAfter(sent)) && !deadline.hasExpired())
            QThread::msleep(5);
        if (onset && *onset - sent < kMissNanoseconds)
            row.milliseconds.push_back(double(*onset - sent) / 1e6);
        else
            ++row.missed;
    }
    return row;
}

void report(const Row& row)
{
    if (row.milliseconds.empty()) {
        std::printf("%-34s no onset heard (%d presses)\n", row.name.c_str(), row.missed);
        return;
    }
    std::printf("%-34s median %6.2f ms   p95 %6.2f ms   (%zu presses, %d unheard)\n",
                row.name.c_str(), percentile(row.milliseconds, 0.5),
                percentile(row.milliseconds, 0.95), row.milliseconds.size(), row.missed);
}

// Starts a virtual X server; its display name, or empty.
QString startX(QProcess& x)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return {};
    x.setProcessChannelMode(QProcess::SeparateChannels);
    x.setStandardErrorFile(QProcess::nullDevice());
    // It goes when the benchmark does, also when the benchmark dies without cleaning up.
    x.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    x.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    if (!x.waitForStarted() || !x.waitForReadyRead(10000))
        return {};
    return QStringLiteral(":") + QString::fromLatin1(x.readLine().trimmed());
}

void stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
}

// Polls `ready` for up to 20 s.
bool waitUntil(const std::function<bool()>& ready)
{
    const QDeadlineTimer deadline(20000);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// A virtual X server, stopped after everyone connected to it has gone.
struct XServer
{
    XServer() : display(startX(process)) {}
    ~XServer() { stop(process); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    QProcess process;
    QString display;
};

// Waits until the process writes the line on its standard error (merged into its output).
bool waitForLine(QProcess& process, const QByteArray& line)
{
    if (!process.waitForStarted())
        return false;
    QByteArray seen;
    const QDeadlineTimer deadline(20000);
    while (!seen.contains(line)) {
        if (deadline.hasExpired() || process.state() != QProcess::Running)
            return false;
        process.waitForReadyRead(100);
        seen += process.readAll();
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString piano =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KP_TOUCHPIANO);
    const int presses = qEnvironmentVariableIsSet("KP_DESKTOP_PRESSES")
                            ? qEnvironmentVariableIntValue("KP_DESKTOP_PRESSES")
                            : 45;
    const bool peers = qgetenv("KP_DESKTOP_PEERS") != "0";

    KPPipeWireServer server;
    if (!server.isRunning()) {
        std::printf("skipped: %s\n", qPrintable(server.error()));
        return 0;
    }
    const XServer x;
    const QString& display = x.display;
    if (display.isEmpty()) {
        std::printf("skipped: Xvfb does not start\n");
        return 0;
    }
    qputenv("DISPLAY", display.toLatin1());
    pw_init(nullptr, nullptr);
    Monitor monitor;
    Keyboard keyboard(display.toLatin1().constData());
    if (!monitor.isConnected() || !keyboard.isReady()) {
        std::printf("skipped: no capture of the null sink, or no X connection\n");
        return 1;
    }
    QThread::msleep(500);
    std::vector<Row> rows;

    {
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("JACK_DEFAULT_SERVER"), QStringLiteral("bench-none"));
        program.setProcessEnvironment(environment);
        program.start(piano, {});
        Window window = 0;
        const bool ready = waitForLine(program, "KPPipeWireDevice: sound goes to PipeWire") &&
                           waitUntil([&] { return (window = keyboard.find("Touch Piano")) != 0; });
        if (ready) {
            keyboard.focus(window);
            QThread::msleep(1000);
            rows.push_back(measure(
                "Touch Piano, PipeWire output", monitor, presses,
                [&] { return keyboard.press(XK_q); }, [&] { keyboard.release(XK_q); }));
        } else {
            std::printf("%s\n", program.readAll().constData());
            rows.push_back({"Touch Piano, PipeWire output (did not start)", {}, 0});
        }
        stop(program);
    }
    if (peers) {
        Floor floor(display.toLatin1().constData());
        if (floor.isReady()) {
            keyboard.focus(floor.window());
            QThread::msleep(500);
            rows.push_back(measure(
                "floor: a click written in the cycle", monitor, presses,
                [&] { return keyboard.press(XK_q); }, [&] { keyboard.release(XK_q); }));
        }
    }
    if (peers && QFileInfo::exists(QString::fromLatin1(kSoundFont)) &&
        !QStandardPaths::findExecutable(QStringLiteral("fluidsynth")).isEmpty()) {
        QProcess synth;
        synth.setProcessChannelMode(QProcess::MergedChannels);
        synth.start(QStringLiteral("fluidsynth"),
                    {QStringLiteral("-n"), QStringLiteral("-a"), QStringLiteral("pulseaudio"),
                     QStringLiteral("-g"), QStringLiteral("1.0"), QString::fromLatin1(kSoundFont)});
        if (synth.waitForStarted() && waitForLine(synth, ">")) {
            QThread::msleep(1000);
            rows.push_back(measure(
                "FluidSynth, PulseAudio, shell", monitor, presses,
                [&] {
                    const int64_t at = monotonicNow();
                    synth.write("noteon 0 60 127\n");
                    synth.waitForBytesWritten();
                    return at;
                },
                [&] {
                    synth.write("noteoff 0 60\n");
                    synth.waitForBytesWritten();
                }));
        }
        synth.write("quit\n");
        stop(synth);
    }
    std::printf("graph quantum: %d frames at %d Hz\n", monitor.quantum(), kRate);
    for (const Row& row : rows)
        report(row);
    return 0;
}
