#include "midi/KPAlsaMidiSystem.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcAlsaLibrary, "touchpiano.midi.libraries", QtWarningMsg)

void alsaMessage(const char* file, int line, const char* function, int error, const char* format,
                 ...)
{
    if (!lcAlsaLibrary().isDebugEnabled())
        return;
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    qCDebug(lcAlsaLibrary, "ALSA: %s:%d (%s) %s: %d", file, line, function, text, error);
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

void KPAlsaMidiSystem::SequencerCloser::operator()(_snd_seq* sequencer) const
{
    snd_seq_close(sequencer);
}

KPAlsaMidiSystem::KPAlsaMidiSystem()
{
    quietenLibrary();
}

KPAlsaMidiSystem::~KPAlsaMidiSystem() = default;

void KPAlsaMidiSystem::quietenLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(alsaMessage); });
}

bool KPAlsaMidiSystem::runs()
{
    if (!m_sequencer) {
        snd_seq_t* sequencer = nullptr;
        if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_INPUT, 0) == 0)
            m_sequencer.reset(sequencer);
    }
    return bool(m_sequencer);
}

bool KPAlsaMidiSystem::isDevicePort(const std::string& portName)
{
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
