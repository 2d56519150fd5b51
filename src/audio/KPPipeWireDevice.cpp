#include "audio/KPPipeWireDevice.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QByteArray>
#include <QDebug>
#include <QFileInfo>
#include <QScopeGuard>

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>

namespace {

// How long the server may take to accept the stream and agree on its format.
constexpr int64_t kConnectNanoseconds = 2'000'000'000;
// The rate assumed until the stream's format is known.
constexpr int kAssumedRate = 48000;

// Where a server's socket would be: connecting to none costs the library's modules and
// configuration first, so the socket is looked for before.
bool serverMayRun()
{
    QByteArray remote = qgetenv("PIPEWIRE_REMOTE");
    if (remote.isEmpty())
        remote = "pipewire-0";
    if (remote.startsWith('/'))
        return QFileInfo::exists(QString::fromLocal8Bit(remote));
    for (const char* variable : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
        const QByteArray folder = qgetenv(variable);
        if (!folder.isEmpty())
            return QFileInfo::exists(QString::fromLocal8Bit(folder + '/' + remote));
    }
    return false;
}

} // namespace

// Made and torn down under the thread loop's lock, in this order and its reverse.
struct KPPipeWireDevice::Connection
{
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook coreListener{};
    spa_hook streamListener{};
    // Under the loop's lock.
    pw_stream_state state = PW_STREAM_STATE_UNCONNECTED;
    bool formatKnown = false;
    std::atomic<int> rate = kAssumedRate;

    ~Connection()
    {
        if (loop)
            pw_thread_loop_lock(loop);
        // The device is going: its callbacks are not called while the stream is taken down.
        spa_hook_remove(&streamListener);
        spa_hook_remove(&coreListener);
        if (stream)
            pw_stream_destroy(stream);
        if (core)
            pw_core_disconnect(core);
        if (loop) {
            pw_thread_loop_unlock(loop);
            pw_thread_loop_stop(loop);
        }
        if (context)
            pw_context_destroy(context);
        if (loop)
            pw_thread_loop_destroy(loop);
    }
};

struct KPPipeWireDevice::Events
{
    static void process(void* self) { static_cast<KPPipeWireDevice*>(self)->process(); }

    static void stateChanged(void* self, pw_stream_state, pw_stream_state state, const char*)
    {
        static_cast<KPPipeWireDevice*>(self)->stateChanged(state);
    }

    static void paramChanged(void* self, uint32_t id, const spa_pod* param)
    {
        if (id == SPA_PARAM_Format && param)
            static_cast<KPPipeWireDevice*>(self)->formatChanged(param);
    }

    // The server went away (or dropped us): nothing more will play.
    static void coreError(void* self, uint32_t id, int, int result, const char*)
    {
        if (id == PW_ID_CORE && result == -EPIPE)
            static_cast<KPPipeWireDevice*>(self)->lose();
    }

    static constexpr pw_stream_events stream()
    {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = stateChanged;
        events.param_changed = paramChanged;
        events.process = process;
        return events;
    }

    static constexpr pw_core_events core()
    {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = coreError;
        return events;
    }

    static inline const pw_stream_events streamEvents = stream();
    static inline const pw_core_events coreEvents = core();
};

std::unique_ptr<KPPipeWireDevice> KPPipeWireDevice::open(LostHandler lost)
{
    if (!serverMayRun() || !alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
        return nullptr;
    std::unique_ptr<ALCdevice, KPALDeviceCloser> device(alcLoopbackOpenDeviceSOFT(nullptr));
    if (!device)
        return nullptr;
    auto output = std::make_unique<KPPipeWireDevice>(device.release(), std::move(lost));
    if (!output->connect())
        return nullptr;
    const int rate = output->m_connection->rate.load();
    if (!alcIsRenderFormatSupportedSOFT(output->get(), rate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT))
        return nullptr;
    qInfo("KPPipeWireDevice: sound goes to PipeWire at %d Hz, mixed in its cycle of %d frames",
          rate, kQuantum);
    return output;
}

KPPipeWireDevice::KPPipeWireDevice(ALCdevice* device, LostHandler lost)
    : KPHostDevice(device, kAssumedRate, std::move(lost))
{
    setMixesOnItsOwn(kQuantum);
}

// The stream goes first, so that no callback renders a half-closed device.
KPPipeWireDevice::~KPPipeWireDevice()
{
    m_connection.reset();
}

// Waits until the server plays the stream in a format we mix, refuses it, or takes too long.
bool KPPipeWireDevice::connect()
{
    static std::once_flag initialized;
    std::call_once(initialized, [] { pw_init(nullptr, nullptr); });
    m_connection = std::make_unique<Connection>();
    Connection& c = *m_connection;
    c.loop = pw_thread_loop_new("touchpiano-output", nullptr);
    if (!c.loop)
        return false;
    c.context = pw_context_new(pw_thread_loop_get_loop(c.loop), nullptr, 0);
    if (!c.context || pw_thread_loop_start(c.loop) != 0)
        return false;
    pw_thread_loop_lock(c.loop);
    const auto unlock = qScopeGuard([&c] { pw_thread_loop_unlock(c.loop); });
    c.core = pw_context_connect(c.context, nullptr, 0);
    if (!c.core)
        return false;
    pw_core_add_listener(c.core, &c.coreListener, &Events::coreEvents, this);
    const QByteArray latency =
        QByteArray::number(kQuantum) + '/' + QByteArray::number(kAssumedRate);
    c.stream = pw_stream_new(c.core, "Touch Piano",
                             pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY,
                                               "Playback", PW_KEY_MEDIA_ROLE, "Music",
                                               PW_KEY_APP_NAME, "Touch Piano", PW_KEY_NODE_NAME,
                                               "touchpiano", PW_KEY_NODE_DESCRIPTION, "Touch Piano",
                                               PW_KEY_NODE_LATENCY, latency.constData(), nullptr));
    if (!c.stream)
        return false;
    pw_stream_add_listener(c.stream, &c.streamListener, &Events::streamEvents, this);
    // Any rate: the graph's own, so that nothing resamples between the mix and the sink.
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.channels = kChannels;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    std::array<uint8_t, 1024> space{};
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, space.data(), uint32_t(space.size()));
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                       PW_STREAM_FLAG_RT_PROCESS);
    if (pw_stream_connect(c.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0)
        return false;
    timespec deadline{};
    pw_thread_loop_get_time(c.loop, &deadline, kConnectNanoseconds);
    while (!(c.formatKnown &&
             (c.state == PW_STREAM_STATE_PAUSED || c.state == PW_STREAM_STATE_STREAMING))) {
        if (c.state == PW_STREAM_STATE_ERROR || isLost() ||
            pw_thread_loop_timed_wait_full(c.loop, &deadline) != 0)
            return false;
    }
    return true;
}

KPALContextPtr KPPipeWireDevice::createContext(std::optional<int>)
{
    return KPLoopbackDevice::createContext(m_connection->rate.load());
}

// On PipeWire's thread, with the loop locked. A stream that errs (the server refused to link
// it) or is dropped after it played no longer plays.
void KPPipeWireDevice::stateChanged(int state)
{
    Connection& c = *m_connection;
    const bool played = c.state == PW_STREAM_STATE_PAUSED || c.state == PW_STREAM_STATE_STREAMING;
    c.state = pw_stream_state(state);
    if (state == PW_STREAM_STATE_ERROR || (played && state == PW_STREAM_STATE_UNCONNECTED))
        lose();
    pw_thread_loop_signal(c.loop, false);
}

void KPPipeWireDevice::formatChanged(const spa_pod* format)
{
    spa_audio_info_raw info{};
    Connection& c = *m_connection;
    if (spa_format_audio_raw_parse(format, &info) >= 0 && info.rate > 0) {
        c.rate = int(info.rate);
        c.formatKnown = true;
    }
    pw_thread_loop_signal(c.loop, false);
}

// On the stream's real-time thread, which must never wait: while a context is being made the
// buffer is silent.
void KPPipeWireDevice::process()
{
    pw_stream* stream = m_connection->stream;
    pw_buffer* buffer = pw_stream_dequeue_buffer(stream);
    if (!buffer)
        return;
    spa_data& data = buffer->buffer->datas[0];
    if (!data.data) {
        pw_stream_queue_buffer(stream, buffer);
        return;
    }
    constexpr uint32_t stride = sizeof(float) * kChannels;
    uint32_t frames = data.maxsize / stride;
    if (buffer->requested)
        frames = std::min<uint32_t>(frames, uint32_t(buffer->requested));
    anchor(std::chrono::steady_clock::now());
    auto* out = static_cast<float*>(data.data);
    if (!tryRender(out, int(frames)))
        std::fill_n(out, size_t(frames) * kChannels, 0.0f);
    data.chunk->offset = 0;
    data.chunk->stride = int32_t(stride);
    data.chunk->size = frames * stride;
    pw_stream_queue_buffer(stream, buffer);
}
