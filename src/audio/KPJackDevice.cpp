#include "audio/KPJackDevice.h"

#include "audio/KPJackServerProbe.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QDebug>

#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace {
// JACK's longest period.
constexpr size_t kMaxPeriodFrames = 8192;
} // namespace

void KPJackDevice::ClientCloser::operator()(_jack_client* client) const
{
    jack_client_close(client);
}

std::unique_ptr<KPJackDevice> KPJackDevice::open(LostHandler serverGone)
{
    KPJackServerProbe::quietenLibrary();
    if (!KPJackServerProbe::mayRun() || !alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
        return nullptr;
    std::unique_ptr<_jack_client, ClientCloser> client(
        jack_client_open(kClientName, JackNoStartServer, nullptr));
    if (!client)
        return nullptr;
    const int rate = int(jack_get_sample_rate(client.get()));
    std::unique_ptr<ALCdevice, KPALDeviceCloser> device(alcLoopbackOpenDeviceSOFT(nullptr));
    if (!device ||
        !alcIsRenderFormatSupportedSOFT(device.get(), rate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT))
        return nullptr;
    auto jack = std::make_unique<KPJackDevice>(device.release(), client.release(), rate,
                                               std::move(serverGone));
    if (!jack->activate())
        return nullptr;
    qInfo("KPJackDevice: sound goes to JACK at %d Hz, mixed in its cycle of %u frames", rate,
          jack_get_buffer_size(jack->m_client.get()));
    return jack;
}

KPJackDevice::KPJackDevice(ALCdevice* device, _jack_client* client, int sampleRate,
                           LostHandler serverGone)
    : KPHostDevice(device, sampleRate, std::move(serverGone)), m_client(client),
      m_mix(kMaxPeriodFrames * kChannels)
{
    setMixesOnItsOwn(int(jack_get_buffer_size(m_client.get())));
}

void KPJackDevice::setCycleEventReader(CycleEventReader reader, void* context)
{
    m_reader.store(nullptr);
    waitForCycle();
    m_readerContext.store(context);
    m_reader.store(reader);
}

void KPJackDevice::setCycleWriter(CycleWriter writer, void* context)
{
    m_writer.store(nullptr);
    waitForCycle();
    m_writerContext.store(context);
    m_writer.store(writer);
}

// A cycle that took the old one before it was cleared finishes with it first.
void KPJackDevice::waitForCycle() const
{
    while (m_reading.load())
        std::this_thread::yield();
}

// The client goes first, so that no cycle renders a half-closed device.
KPJackDevice::~KPJackDevice()
{
    m_client.reset();
}

bool KPJackDevice::activate()
{
    for (size_t i = 0; i < m_ports.size(); ++i) {
        m_ports[i] = jack_port_register(m_client.get(), ("out_" + std::to_string(i + 1)).c_str(),
                                        JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!m_ports[i])
            return false;
    }
    jack_set_process_callback(m_client.get(), &KPJackDevice::process, this);
    jack_on_shutdown(m_client.get(), &KPJackDevice::shutDown, this);
    if (jack_activate(m_client.get()) != 0)
        return false;
    const char** outputs = jack_get_ports(m_client.get(), nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                          JackPortIsPhysical | JackPortIsInput);
    for (size_t i = 0; outputs && outputs[i] && i < m_ports.size(); ++i)
        jack_connect(m_client.get(), jack_port_name(m_ports[i]), outputs[i]);
    jack_free(outputs);
    return true;
}

KPALContextPtr KPJackDevice::createContext(std::optional<int>)
{
    return KPLoopbackDevice::createContext(int(jack_get_sample_rate(m_client.get())));
}

// On JACK's thread, which must never wait: while a context is being made the cycle is silent.
int KPJackDevice::process(uint32_t frames, void* self)
{
    auto* device = static_cast<KPJackDevice*>(self);
    // The clock's tie to the mix: when this cycle began, in JACK's time, seen on the steady clock.
    jack_nframes_t cycleFrame = 0;
    jack_time_t cycleStart = 0;
    jack_time_t nextCycle = 0;
    float periodMicroseconds = 0.0f;
    if (jack_get_cycle_times(device->m_client.get(), &cycleFrame, &cycleStart, &nextCycle,
                             &periodMicroseconds) == 0) {
        const auto sinceStart =
            std::chrono::microseconds(int64_t(jack_get_time()) - int64_t(cycleStart));
        device->anchor(std::chrono::steady_clock::now() - sinceStart);
    }
    // The events of a cycle that could not be mixed come first, at this cycle's first frame.
    const std::span<KPNoteEvent> room = std::span(device->m_cycleEvents).subspan(device->m_carried);
    size_t read = 0;
    device->m_reading.store(true);
    if (const CycleEventReader reader = device->m_reader.load())
        read = std::min(room.size(), reader(device->m_readerContext.load(), frames, room));
    if (const CycleWriter writer = device->m_writer.load())
        writer(device->m_writerContext.load(), frames, device->framesMixed());
    device->m_reading.store(false);
    const std::span<KPNoteEvent> events =
        std::span(device->m_cycleEvents).first(device->m_carried + read);
    device->m_carried = 0;
    std::array<float*, kChannels> outputs{};
    for (size_t c = 0; c < outputs.size(); ++c)
        outputs[c] = static_cast<float*>(jack_port_get_buffer(device->m_ports[c], frames));
    for (uint32_t done = 0; done < frames;) {
        const uint32_t todo = std::min<uint32_t>(frames - done, kMaxPeriodFrames);
        float* mix = device->m_mix.data();
        if (!device->tryRender(mix, int(todo),
                               done == 0 ? events : std::span<const KPNoteEvent>())) {
            std::fill_n(mix, size_t(todo) * kChannels, 0.0f);
            // A context was being made: the cycle's notes sound a cycle late rather than never
            // (the player has been told they sounded).
            if (done == 0) {
                for (KPNoteEvent& event : events)
                    event.frame = 0;
                device->m_carried = events.size();
            }
        }
        for (uint32_t i = 0; i < todo; ++i) {
            for (size_t c = 0; c < outputs.size(); ++c)
                outputs[c][done + i] = mix[i * kChannels + c];
        }
        done += todo;
    }
    return 0;
}

void KPJackDevice::shutDown(void* self)
{
    static_cast<KPJackDevice*>(self)->lose();
}
