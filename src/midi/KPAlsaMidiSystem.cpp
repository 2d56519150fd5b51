#include "midi/KPAlsaMidiSystem.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include <unistd.h>

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
std::optional<snd_seq_addr_t> alsaAddress(const std::string& portName)
{
    const size_t space = portName.rfind(' ');
    if (space == std::string::npos)
        return std::nullopt;
    int client = -1;
    int port = -1;
    if (std::sscanf(portName.c_str() + space + 1, "%d:%d", &client, &port) != 2 || client < 0 ||
        client > 255 || port < 0 || port > 255)
        return std::nullopt;
    return snd_seq_addr_t{uint8_t(client), uint8_t(port)};
}

int alsaClientNumber(const std::string& portName)
{
    const std::optional<snd_seq_addr_t> address = alsaAddress(portName);
    return address ? address->client : -1;
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

bool KPAlsaMidiSystem::isOurClient(int client)
{
    snd_seq_client_info_t* info = nullptr;
    snd_seq_client_info_alloca(&info);
    return m_sequencer && snd_seq_get_any_client_info(m_sequencer.get(), client, info) == 0 &&
           snd_seq_client_info_get_pid(info) == getpid();
}

bool KPAlsaMidiSystem::isOurs(const std::string& portName)
{
    const int client = alsaClientNumber(portName);
    return client >= 0 && isOurClient(client);
}

template <typename Each>
void KPAlsaMidiSystem::forEachOfOurs(const std::string& portName, Each each)
{
    const std::optional<snd_seq_addr_t> source = alsaAddress(portName);
    if (!m_sequencer || !source)
        return;
    snd_seq_query_subscribe_t* query = nullptr;
    snd_seq_query_subscribe_alloca(&query);
    snd_seq_query_subscribe_set_root(query, &*source);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
    std::vector<snd_seq_addr_t> ours;
    for (int index = 0;; ++index) {
        snd_seq_query_subscribe_set_index(query, index);
        if (snd_seq_query_port_subscribers(m_sequencer.get(), query) < 0)
            break;
        const snd_seq_addr_t* reached = snd_seq_query_subscribe_get_addr(query);
        if (isOurClient(reached->client))
            ours.push_back(*reached);
    }
    for (const snd_seq_addr_t& destination : ours)
        each(*source, destination);
}

bool KPAlsaMidiSystem::feedsUs(const std::string& portName)
{
    bool feeds = false;
    forEachOfOurs(portName,
                  [&feeds](const snd_seq_addr_t&, const snd_seq_addr_t&) { feeds = true; });
    return feeds;
}

void KPAlsaMidiSystem::cutFromUs(const std::string& portName)
{
    forEachOfOurs(portName,
                  [this](const snd_seq_addr_t& source, const snd_seq_addr_t& destination) {
                      snd_seq_port_subscribe_t* subscription = nullptr;
                      snd_seq_port_subscribe_alloca(&subscription);
                      snd_seq_port_subscribe_set_sender(subscription, &source);
                      snd_seq_port_subscribe_set_dest(subscription, &destination);
                      snd_seq_unsubscribe_port(m_sequencer.get(), subscription);
                  });
}
