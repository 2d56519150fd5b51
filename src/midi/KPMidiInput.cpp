#include "midi/KPMidiInput.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <RtMidi.h>

#include <chrono>
#include <cstdarg>
#include <mutex>

namespace {

constexpr std::chrono::seconds kRefreshInterval(2);

// The last error RtMidi reported on this thread: its calls report through the callback only.
thread_local std::string t_lastError;

void rtMidiError(RtMidiError::Type type, const std::string& text, void* /*userData*/)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        t_lastError = text;
}

RtMidi::Api rtMidiApi(KPMidiSystem::Kind kind)
{
    return kind == KPMidiSystem::Kind::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

[[nodiscard]] std::unique_ptr<RtMidiIn> makeInput(KPMidiSystem::Kind kind)
{
    try {
        auto input = std::make_unique<RtMidiIn>(rtMidiApi(kind), KPMidiInput::kPortName);
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
    QStringList lines;
    for (const auto kind : {KPMidiSystem::Kind::Alsa, KPMidiSystem::Kind::Jack}) {
        KPMidiSystem system(kind);
        std::unique_ptr<RtMidiIn> input = system.runs() ? makeInput(kind) : nullptr;
        if (!input) {
            lines << QStringLiteral("%1: (%2)").arg(system.name(), system.missingText());
            continue;
        }
        const std::vector<std::string> names = portNames(*input);
        for (const std::string& name : names) {
            lines << QStringLiteral("%1: %2%3")
                         .arg(system.name(), QString::fromStdString(name),
                              system.isDevicePort(name) ? QString()
                                                        : QStringLiteral(" (a program: it connects "
                                                                         "to \"Touch Piano\")"));
        }
        if (names.empty())
            lines << QStringLiteral("%1: (no input ports)").arg(system.name());
    }
    return lines;
}

KPMidiInput::System::System(KPMidiSystem::Kind kind) : query(kind), name(query.name()) {}

KPMidiInput::System::~System() = default;

KPMidiInput::KPMidiInput(QObject* parent)
    : QObject(parent), m_systems{System(KPMidiSystem::Kind::Alsa), System(KPMidiSystem::Kind::Jack)}
{
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
    if (!system.query.runs()) {
        if (system.virtualPort) {
            qWarning("KPMidiInput: %s MIDI is gone", qPrintable(system.name));
            system.openPorts.clear();
            system.failedPorts.clear();
            system.virtualPort.reset();
        }
        if (!std::exchange(system.reportedMissing, true))
            qInfo("KPMidiInput: %s MIDI not used: %s", qPrintable(system.name),
                  qPrintable(system.query.missingText()));
        return;
    }
    if (!system.virtualPort) {
        std::unique_ptr<RtMidiIn> input = makeInput(system.query.kind());
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
        if (!system.openPorts.contains(name) && !system.failedPorts.contains(name) &&
            system.query.isDevicePort(name))
            openPort(system, name);
    }
}

void KPMidiInput::openPort(System& system, const std::string& name)
{
    t_lastError.clear();
    std::unique_ptr<RtMidiIn> input = makeInput(system.query.kind());
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
