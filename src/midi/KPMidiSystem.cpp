#include "midi/KPMidiSystem.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcMidiLibraries, "touchpiano.midi.libraries", QtWarningMsg)

constexpr char kQueryClientName[] = "Touch Piano query";

void jackMessage(const char* text)
{
    qCDebug(lcMidiLibraries, "JACK: %s", text);
}

void alsaMessage(const char* file, int line, const char* function, int error, const char* format,
                 ...)
{
    if (!lcMidiLibraries().isDebugEnabled())
        return;
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    qCDebug(lcMidiLibraries, "ALSA: %s:%d (%s) %s: %d", file, line, function, text, error);
}

// RtMidi names an ALSA port "client:port client-number:port-number".
int alsaClientNumber(const std::string& portName)
{
    const size_t space = portName.rfind(' ');
    if (space == std::string::npos)
        return -1;
    int client = -1;
    int port = -1;
    if (std::sscanf(portName.c_str() + space + 1, "%d:%d", &client, &port) != 2)
        return -1;
    return client;
}

} // namespace

void KPMidiSystem::JackCloser::operator()(_jack_client* client) const
{
    jack_client_close(client);
}

void KPMidiSystem::SequencerCloser::operator()(_snd_seq* sequencer) const
{
    snd_seq_close(sequencer);
}

KPMidiSystem::KPMidiSystem(Kind kind) : m_kind(kind)
{
    quietenLibraries();
}

KPMidiSystem::~KPMidiSystem() = default;

void KPMidiSystem::quietenLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(jackMessage);
        jack_set_info_function(jackMessage);
        snd_lib_error_set_handler(alsaMessage);
    });
}

QString KPMidiSystem::name() const
{
    return m_kind == Kind::Alsa ? QStringLiteral("ALSA") : QStringLiteral("JACK");
}

QString KPMidiSystem::missingText() const
{
    return m_kind == Kind::Alsa ? QStringLiteral("no ALSA sequencer")
                                : QStringLiteral("no JACK server running");
}

bool KPMidiSystem::runs()
{
    if (m_kind == Kind::Alsa) {
        if (!m_sequencer) {
            snd_seq_t* sequencer = nullptr;
            if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_INPUT, 0) == 0)
                m_sequencer.reset(sequencer);
        }
        return bool(m_sequencer);
    }
    // A server that went away answers no once, so that what was open on it is let go.
    if (m_jack && m_jackShutDown.exchange(false)) {
        m_jack.reset();
        return false;
    }
    if (!m_jack) {
        m_jack.reset(jack_client_open(kQueryClientName, JackNoStartServer, nullptr));
        if (m_jack) {
            jack_on_shutdown(
                m_jack.get(),
                [](void* system) { static_cast<KPMidiSystem*>(system)->m_jackShutDown = true; },
                this);
            jack_activate(m_jack.get());
        }
    }
    return bool(m_jack);
}

bool KPMidiSystem::isDevicePort(const std::string& portName)
{
    if (m_kind == Kind::Jack) {
        const jack_port_t* port =
            m_jack ? jack_port_by_name(m_jack.get(), portName.c_str()) : nullptr;
        return port && (jack_port_flags(port) & JackPortIsPhysical);
    }
    const int client = alsaClientNumber(portName);
    if (!m_sequencer || client < 0)
        return false;
    snd_seq_client_info_t* info = nullptr;
    snd_seq_client_info_alloca(&info);
    if (snd_seq_get_any_client_info(m_sequencer.get(), client, info) < 0)
        return false;
    return snd_seq_client_info_get_type(info) == SND_SEQ_KERNEL_CLIENT &&
           std::string_view(snd_seq_client_info_get_name(info)) != "Midi Through";
}
