#include "midi/KPJackMidiClient.h"

#include "audio/KPJackDevice.h"
#include "audio/KPJackServerProbe.h"
#include "audio/KPSoundPlayer.h"
#include "midi/KPMidiDecoder.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string_view>

void KPJackMidiClient::ClientCloser::operator()(_jack_client* client) const
{
    if (owned)
        jack_client_close(client);
}

std::unique_ptr<KPJackMidiClient> KPJackMidiClient::open(Mode mode)
{
    KPJackServerProbe::quietenLibrary();
    if (!KPJackServerProbe::mayRun())
        return nullptr;
    jack_client_t* client = jack_client_open(kName, JackNoStartServer, nullptr);
    if (!client)
        return nullptr;
    std::unique_ptr<KPJackMidiClient> midi = make(client, nullptr);
    if (!midi) {
        jack_client_close(client);
        return nullptr;
    }
    if (mode == Mode::Listen && !midi->listen())
        return nullptr;
    return midi;
}

std::unique_ptr<KPJackMidiClient> KPJackMidiClient::attach(std::shared_ptr<KPJackDevice> output)
{
    if (!output || output->isLost())
        return nullptr;
    _jack_client* client = output->client();
    std::unique_ptr<KPJackMidiClient> midi = make(client, std::move(output));
    if (!midi || !midi->listenOnOutput())
        return nullptr;
    return midi;
}

std::unique_ptr<KPJackMidiClient> KPJackMidiClient::make(_jack_client* client,
                                                         std::shared_ptr<KPJackDevice> output)
{
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return nullptr;
    return std::unique_ptr<KPJackMidiClient>(
        new KPJackMidiClient(client, wakeFd, std::move(output)));
}

KPJackMidiClient::KPJackMidiClient(_jack_client* client, int wakeFd,
                                   std::shared_ptr<KPJackDevice> output)
    : m_wakeFd(wakeFd), m_wakeNotifier(wakeFd, QSocketNotifier::Read), m_output(std::move(output)),
      m_client(client, ClientCloser{m_output == nullptr})
{
    connect(&m_wakeNotifier, &QSocketNotifier::activated, this, &KPJackMidiClient::woken);
}

KPJackMidiClient::~KPJackMidiClient()
{
    if (m_output) {
        m_output->setCycleEventReader(nullptr, nullptr);
        if (m_port)
            jack_port_unregister(m_client.get(), m_port);
    }
    m_client.reset();
    m_wakeNotifier.setEnabled(false);
    ::close(m_wakeFd);
}

bool KPJackMidiClient::listen()
{
    m_port = jack_port_register(m_client.get(), kName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!m_port)
        return false;
    jack_set_process_callback(m_client.get(), &KPJackMidiClient::process, this);
    jack_on_shutdown(m_client.get(), &KPJackMidiClient::shutDown, this);
    return jack_activate(m_client.get()) == 0;
}

// The output's client keeps its own shutdown callback: the output says when the server went.
bool KPJackMidiClient::listenOnOutput()
{
    m_port = jack_port_register(m_client.get(), kName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!m_port)
        return false;
    m_output->setCycleEventReader(&KPJackMidiClient::readOutputCycle, this);
    return true;
}

bool KPJackMidiClient::isServerGone() const
{
    return m_serverGone || (m_output && m_output->isLost());
}

std::string KPJackMidiClient::portName() const
{
    return m_port ? jack_port_name(m_port) : std::string();
}

std::vector<std::string> KPJackMidiClient::sourcePorts() const
{
    std::vector<std::string> names;
    const char** ports =
        jack_get_ports(m_client.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    // Our own output ("Touch Piano output:Touch Piano out") plays nothing here.
    const std::string ownPrefix = std::string(KPJackDevice::kClientName) + ':';
    for (size_t i = 0; ports && ports[i]; ++i) {
        if (!std::string_view(ports[i]).starts_with(ownPrefix))
            names.emplace_back(ports[i]);
    }
    jack_free(ports);
    return names;
}

bool KPJackMidiClient::isDevicePort(const std::string& portName) const
{
    const jack_port_t* port = jack_port_by_name(m_client.get(), portName.c_str());
    return port && (jack_port_flags(port) & JackPortIsPhysical);
}

bool KPJackMidiClient::connectSource(const std::string& portName)
{
    if (!m_port)
        return false;
    const int result = jack_connect(m_client.get(), portName.c_str(), jack_port_name(m_port));
    return result == 0 || result == EEXIST;
}

bool KPJackMidiClient::isConnected(const std::string& portName) const
{
    return m_port && jack_port_connected_to(m_port, portName.c_str());
}

void KPJackMidiClient::disconnectSource(const std::string& portName)
{
    if (m_port)
        jack_disconnect(m_client.get(), portName.c_str(), jack_port_name(m_port));
}

// On JACK's thread: never waits, never allocates.
int KPJackMidiClient::process(uint32_t frames, void* self)
{
    auto* client = static_cast<KPJackMidiClient*>(self);
    if (client->m_reader.readCycle(jack_port_get_buffer(client->m_port, frames),
                                   jack_last_frame_time(client->m_client.get())))
        client->wake();
    return 0;
}

// On the output's JACK thread: never waits, never allocates. A press cuts off the note's earlier
// instance and sounds anew at its frame, as a press on the main thread does; a release lets the
// note go at its frame unless a player on the main thread holds it.
size_t KPJackMidiClient::readOutputCycle(void* self, uint32_t frames, std::span<KPNoteEvent> out)
{
    auto* client = static_cast<KPJackMidiClient*>(self);
    Cycle cycle{client, out, 0, jack_last_frame_time(client->m_client.get())};
    if (client->m_reader.readCycle(jack_port_get_buffer(client->m_port, frames), cycle.start,
                                   &KPJackMidiClient::strike, &cycle))
        client->wake();
    return cycle.count;
}

void KPJackMidiClient::strike(void* cycle, const KPJackMidiReader::Event& event)
{
    auto& read = *static_cast<Cycle*>(cycle);
    const int64_t frame = int64_t(event.frame - read.start);
    read.client->m_cycleDecoder.decode(event.data(), [&read, frame](const KPMidiKeyEvent& key) {
        const auto note = int32_t(key.note);
        if (key.isRelease()) {
            if (read.count < read.out.size())
                read.out[read.count++] = {KPNoteEvent::Kind::ReleaseUnheld, note, 0.0f, 0, frame};
            return;
        }
        if (read.out.size() - read.count < 2)
            return;
        read.out[read.count++] = {KPNoteEvent::Kind::NoteOff, note, 0.0f, 0, frame};
        read.out[read.count++] = {KPNoteEvent::Kind::NoteOn, note,
                                  KPSoundPlayer::gainForVelocity(key.velocity), 0, frame};
    });
}

void KPJackMidiClient::shutDown(void* self)
{
    auto* client = static_cast<KPJackMidiClient*>(self);
    client->m_serverGone = true;
    client->wake();
}

void KPJackMidiClient::wake()
{
    const uint64_t one = 1;
    // A full counter already wakes the reader.
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void KPJackMidiClient::woken()
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_wakeFd, &count, sizeof count);
    if (m_serverGone)
        emit serverGone();
    else
        emit eventsArrived();
}
