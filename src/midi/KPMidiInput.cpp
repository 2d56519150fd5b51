#include "midi/KPMidiInput.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <RtMidi.h>

#include <chrono>
#include <cstdarg>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcMidiLibraries, "touchpiano.midi.libraries", QtWarningMsg)

constexpr std::chrono::seconds kRefreshInterval(2);

// The last error RtMidi reported on this thread: its calls report through the callback only.
thread_local std::string t_lastError;

void rtMidiError(RtMidiError::Type type, const std::string& text, void* /*userData*/)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        t_lastError = text;
}

// The sound libraries print to standard error whenever a system is not there; we look every
// 2 s and log what matters ourselves.
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

void quietenLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(jackMessage);
        jack_set_info_function(jackMessage);
        snd_lib_error_set_handler(alsaMessage);
    });
}

// Asked before RtMidi is, which would print and throw where the system is missing.
bool systemRuns(RtMidi::Api api)
{
    if (api == RtMidi::LINUX_ALSA) {
        snd_seq_t* sequencer = nullptr;
        if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_INPUT, 0) < 0)
            return false;
        snd_seq_close(sequencer);
        return true;
    }
    jack_client_t* client = jack_client_open("Touch Piano probe", JackNoStartServer, nullptr);
    if (!client)
        return false;
    jack_client_close(client);
    return true;
}

QString systemName(RtMidi::Api api)
{
    return api == RtMidi::LINUX_ALSA ? QStringLiteral("ALSA") : QStringLiteral("JACK");
}

QString missingText(RtMidi::Api api)
{
    return api == RtMidi::LINUX_ALSA ? QStringLiteral("no ALSA sequencer")
                                     : QStringLiteral("no JACK server running");
}

[[nodiscard]] std::unique_ptr<RtMidiIn> makeInput(RtMidi::Api api)
{
    try {
        auto input = std::make_unique<RtMidiIn>(api, KPMidiInput::kPortName);
        input->setErrorCallback(rtMidiError);
        return input;
    } catch (const RtMidiError& error) {
        t_lastError = error.getMessage();
        return nullptr;
    }
}

std::vector<std::string> portNames(RtMidiIn& input)
{
    std::vector<std::string> names;
    const unsigned count = input.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = input.getPortName(i);
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

} // namespace

QStringList KPMidiInput::listPorts()
{
    quietenLibraries();
    QStringList lines;
    for (const RtMidi::Api api : {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK}) {
        const QString system = systemName(api);
        std::unique_ptr<RtMidiIn> input = systemRuns(api) ? makeInput(api) : nullptr;
        if (!input) {
            lines << QStringLiteral("%1: (%2)").arg(system, missingText(api));
            continue;
        }
        const std::vector<std::string> names = portNames(*input);
        for (const std::string& name : names)
            lines << QStringLiteral("%1: %2").arg(system, QString::fromStdString(name));
        if (names.empty())
            lines << QStringLiteral("%1: (no input ports)").arg(system);
    }
    return lines;
}

KPMidiInput::KPMidiInput(QObject* parent) : QObject(parent)
{
    quietenLibraries();
    m_systems[0].api = RtMidi::LINUX_ALSA;
    m_systems[1].api = RtMidi::UNIX_JACK;
    for (System& system : m_systems)
        system.name = systemName(RtMidi::Api(system.api));
    m_refreshTimer.setInterval(kRefreshInterval);
    connect(&m_refreshTimer, &QTimer::timeout, this, &KPMidiInput::refreshPorts);
}

// The ports close first, so no input thread is left calling into a half-gone object.
KPMidiInput::~KPMidiInput()
{
    for (System& system : m_systems) {
        system.openPorts.clear();
        system.virtualPort.reset();
    }
}

void KPMidiInput::start()
{
    refreshPorts();
    m_refreshTimer.start();
    const QStringList ports = portsInUse();
    qInfo("KPMidiInput: MIDI input from %s",
          ports.isEmpty() ? "no port" : qPrintable(ports.join(QStringLiteral(", "))));
}

void KPMidiInput::refreshPorts()
{
    for (System& system : m_systems)
        refresh(system);
}

QStringList KPMidiInput::portsInUse() const
{
    QStringList lines;
    for (const System& system : m_systems) {
        if (system.virtualPort)
            lines << QStringLiteral("%1: %2 (virtual)").arg(system.name, QLatin1String(kPortName));
    }
    for (const System& system : m_systems) {
        for (const auto& port : system.openPorts)
            lines << QStringLiteral("%1: %2").arg(system.name, QString::fromStdString(port.first));
    }
    return lines;
}

void KPMidiInput::refresh(System& system)
{
    const auto api = RtMidi::Api(system.api);
    if (!system.virtualPort) {
        if (!systemRuns(api)) {
            if (!std::exchange(system.reportedMissing, true))
                qInfo("KPMidiInput: %s MIDI not used: %s", qPrintable(system.name),
                      qPrintable(missingText(api)));
            return;
        }
        std::unique_ptr<RtMidiIn> input = makeInput(api);
        if (!input)
            return;
        t_lastError.clear();
        input->ignoreTypes(true, true, true);
        input->setCallback(&KPMidiInput::received, this);
        input->openVirtualPort(kPortName);
        if (!t_lastError.empty()) {
            if (!std::exchange(system.reportedMissing, true))
                qWarning("KPMidiInput: cannot open the virtual port on %s: %s",
                         qPrintable(system.name), t_lastError.c_str());
            return;
        }
        system.virtualPort = std::move(input);
        system.reportedMissing = false;
        qInfo("KPMidiInput: virtual input \"%s\" open on %s", kPortName, qPrintable(system.name));
    }

    const std::vector<std::string> names = portNames(*system.virtualPort);
    const std::set<std::string> present(names.begin(), names.end());
    for (auto port = system.openPorts.begin(); port != system.openPorts.end();) {
        if (present.contains(port->first)) {
            ++port;
            continue;
        }
        qWarning("KPMidiInput: %s port \"%s\" is gone", qPrintable(system.name),
                 port->first.c_str());
        port = system.openPorts.erase(port);
    }
    std::erase_if(system.failedPorts,
                  [&present](const std::string& name) { return !present.contains(name); });
    for (const std::string& name : names) {
        if (!system.openPorts.contains(name) && !system.failedPorts.contains(name))
            openPort(system, name);
    }
}

void KPMidiInput::openPort(System& system, const std::string& name)
{
    t_lastError.clear();
    std::unique_ptr<RtMidiIn> input = makeInput(RtMidi::Api(system.api));
    if (input) {
        // Found again by name: the numbering may have changed since the last look.
        const std::vector<std::string> names = portNames(*input);
        const auto found = std::find(names.begin(), names.end(), name);
        if (found != names.end()) {
            input->ignoreTypes(true, true, true);
            input->setCallback(&KPMidiInput::received, this);
            input->openPort(unsigned(found - names.begin()), kPortName);
        }
        if (!input->isPortOpen())
            input.reset();
    }
    if (!input) {
        system.failedPorts.insert(name);
        qWarning("KPMidiInput: cannot open %s port \"%s\": %s", qPrintable(system.name),
                 name.c_str(), t_lastError.empty() ? "it vanished" : t_lastError.c_str());
        return;
    }
    qInfo("KPMidiInput: playing from %s port \"%s\"", qPrintable(system.name), name.c_str());
    system.openPorts.emplace(name, std::move(input));
}

// On an input thread: queue the message, and wake the main thread when it was idle.
void KPMidiInput::received(double /*timeStamp*/, std::vector<unsigned char>* message, void* input)
{
    auto* self = static_cast<KPMidiInput*>(input);
    if (self->m_inbox.push(*message) == KPMidiInbox::Push::First)
        QMetaObject::invokeMethod(self, "deliver", Qt::QueuedConnection);
}

void KPMidiInput::deliver()
{
    const size_t dropped = m_inbox.takeAll(m_batch);
    if (dropped > 0 && !std::exchange(m_reportedDrops, true))
        qWarning("KPMidiInput: %zu MIDI messages dropped: they came faster than they could "
                 "be played",
                 dropped);
    for (const KPMidiInbox::Message& message : m_batch) {
        m_events.clear();
        m_decoder.decode(message.data(), m_events);
        for (const KPMidiKeyEvent& event : std::as_const(m_events)) {
            if (event.isRelease())
                emit keyReleased(event.note);
            else
                emit keyPressed(event.note, event.velocity);
        }
    }
}
