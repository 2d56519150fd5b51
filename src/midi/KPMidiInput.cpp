#include "midi/KPMidiInput.h"

#include <RtMidi.h>

#include <chrono>

namespace {

constexpr std::chrono::seconds kRefreshInterval(2);

// The last error RtMidi reported on this thread: its calls report through the callback only.
thread_local std::string t_lastError;

void rtMidiError(RtMidiError::Type type, const std::string& text, void* /*userData*/)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        t_lastError = text;
}

[[nodiscard]] std::unique_ptr<RtMidiIn> makeAlsaInput()
{
    try {
        auto input = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, KPMidiInput::kPortName);
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

// The lines --list-midi prints for one system's ports.
QStringList portLines(const QString& system, const std::vector<std::string>& names,
                      const std::function<bool(const std::string&)>& isDevice)
{
    QStringList lines;
    for (const std::string& name : names) {
        lines << QStringLiteral("%1: %2%3")
                     .arg(system, QString::fromStdString(name),
                          isDevice(name)
                              ? QString()
                              : QStringLiteral(" (a program: it connects to \"Touch Piano\")"));
    }
    if (names.empty())
        lines << QStringLiteral("%1: (no input ports)").arg(system);
    return lines;
}

QString missingJackText()
{
    return QStringLiteral("no JACK server running");
}

} // namespace

QStringList KPMidiInput::listPorts()
{
    QStringList lines;
    KPAlsaMidiSystem alsa;
    std::unique_ptr<RtMidiIn> input = alsa.runs() ? makeAlsaInput() : nullptr;
    if (input)
        lines << portLines(alsa.name(), portNames(*input),
                           [&alsa](const std::string& name) { return alsa.isDevicePort(name); });
    else
        lines << QStringLiteral("%1: (%2)").arg(alsa.name(), alsa.missingText());
    const std::unique_ptr<KPJackMidiClient> jack =
        KPJackMidiClient::open(KPJackMidiClient::Mode::Query);
    if (jack)
        lines << portLines(QStringLiteral("JACK"), jack->sourcePorts(),
                           [&jack](const std::string& name) { return jack->isDevicePort(name); });
    else
        lines << QStringLiteral("JACK: (%1)").arg(missingJackText());
    return lines;
}

KPMidiInput::KPMidiInput(QObject* parent) : QObject(parent)
{
    m_refreshTimer.setInterval(kRefreshInterval);
    connect(&m_refreshTimer, &QTimer::timeout, this, &KPMidiInput::refreshPorts);
}

// The ports close first, so no input thread is left calling into a half-gone object.
KPMidiInput::~KPMidiInput()
{
    m_alsaOpenPorts.clear();
    m_alsaVirtualPort.reset();
    m_jack.reset();
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
    refreshAlsa();
    refreshJack();
    updateListing();
}

void KPMidiInput::updateListing()
{
    std::vector<Port> listing;
    if (m_alsaVirtualPort) {
        for (const std::string& name : portNames(*m_alsaVirtualPort)) {
            if (!m_alsa.isOurs(name))
                listing.push_back({m_alsaPorts.system, name, m_alsa.isDevicePort(name),
                                   m_alsaOpenPorts.contains(name) || m_alsa.feedsUs(name)});
        }
    }
    if (m_jack) {
        for (const std::string& name : m_jack->sourcePorts())
            listing.push_back(
                {m_jackPorts.system, name, m_jack->isDevicePort(name), m_jack->isConnected(name)});
    }
    if (listing == m_listing)
        return;
    m_listing = std::move(listing);
    emit portsChanged();
}

bool KPMidiInput::setConnected(const QString& system, const std::string& name, bool connected)
{
    Ports& ports = system == m_alsaPorts.system ? m_alsaPorts : m_jackPorts;
    const bool done = system == m_alsaPorts.system   ? connectAlsa(name, connected)
                      : system == m_jackPorts.system ? connectJack(name, connected)
                                                     : false;
    if (done && connected) {
        ports.cutOff.erase(name);
        qInfo("KPMidiInput: playing from %s port \"%s\"", qPrintable(system), name.c_str());
    } else if (done) {
        ports.open.erase(name);
        ports.cutOff.insert(name);
        qInfo("KPMidiInput: %s port \"%s\" cut off", qPrintable(system), name.c_str());
    } else {
        qWarning("KPMidiInput: cannot %s %s port \"%s\"", connected ? "connect" : "cut off",
                 qPrintable(system), name.c_str());
    }
    updateListing();
    return done;
}

bool KPMidiInput::connectAlsa(const std::string& name, bool connected)
{
    if (!m_alsaVirtualPort)
        return false;
    if (!connected) {
        m_alsaOpenPorts.erase(name);
        m_alsa.cutFromUs(name);
        return true;
    }
    std::string error;
    if (!m_alsaOpenPorts.contains(name) && !openAlsaPort(name, error))
        return false;
    m_alsaPorts.open.insert(name);
    return true;
}

bool KPMidiInput::connectJack(const std::string& name, bool connected)
{
    if (!m_jack)
        return false;
    if (!connected) {
        m_jack->disconnectSource(name);
        return true;
    }
    if (!m_jack->connectSource(name))
        return false;
    if (m_jack->isDevicePort(name))
        m_jackPorts.open.insert(name);
    return true;
}

QStringList KPMidiInput::portsInUse() const
{
    QStringList lines;
    if (m_alsaVirtualPort)
        lines << QStringLiteral("ALSA: %1 (virtual)").arg(QLatin1String(kPortName));
    if (m_jack)
        lines << QStringLiteral("JACK: %1 (virtual)").arg(QLatin1String(kPortName));
    for (const Ports* ports : {&m_alsaPorts, &m_jackPorts}) {
        for (const std::string& port : ports->open)
            lines << QStringLiteral("%1: %2").arg(ports->system, QString::fromStdString(port));
    }
    return lines;
}

void KPMidiInput::reportMissing(Ports& ports, const QString& why)
{
    if (!std::exchange(ports.reportedMissing, true))
        qInfo("KPMidiInput: %s MIDI not used: %s", qPrintable(ports.system), qPrintable(why));
}

void KPMidiInput::refreshAlsa()
{
    if (!m_alsa.runs()) {
        reportMissing(m_alsaPorts, m_alsa.missingText());
        return;
    }
    if (!m_alsaVirtualPort) {
        std::unique_ptr<RtMidiIn> input = makeAlsaInput();
        if (!input)
            return;
        t_lastError.clear();
        input->ignoreTypes(true, true, true);
        input->setCallback(&KPMidiInput::received, this);
        input->openVirtualPort(kPortName);
        if (!t_lastError.empty()) {
            if (!std::exchange(m_alsaPorts.reportedMissing, true))
                qWarning("KPMidiInput: cannot open the virtual port on ALSA: %s",
                         t_lastError.c_str());
            return;
        }
        m_alsaVirtualPort = std::move(input);
        m_alsaPorts.reportedMissing = false;
        qInfo("KPMidiInput: virtual input \"%s\" open on ALSA", kPortName);
    }
    updatePorts(
        m_alsaPorts, portNames(*m_alsaVirtualPort),
        [this](const std::string& name) { return m_alsa.isDevicePort(name); },
        [this](const std::string& name, std::string& error) { return openAlsaPort(name, error); },
        [this](const std::string& name) { m_alsaOpenPorts.erase(name); });
}

void KPMidiInput::refreshJack()
{
    if (m_jack && m_jack->isServerGone())
        jackGone();
    if (!m_jack) {
        m_jack = m_jackOutput ? KPJackMidiClient::attach(m_jackOutput)
                              : KPJackMidiClient::open(KPJackMidiClient::Mode::Listen);
        if (!m_jack) {
            reportMissing(m_jackPorts, missingJackText());
            return;
        }
        connect(m_jack.get(), &KPJackMidiClient::eventsArrived, this, &KPMidiInput::deliverJack);
        // Later: the client can't go from inside its own signal.
        connect(m_jack.get(), &KPJackMidiClient::serverGone, this, &KPMidiInput::refreshJack,
                Qt::QueuedConnection);
        // What came before anyone listened (a program may connect the moment the port shows).
        deliverJack();
        m_jackPorts.reportedMissing = false;
        qInfo("KPMidiInput: virtual input \"%s\" open on JACK%s", kPortName,
              m_jack->strikesOnOutput() ? ", read in the output's cycle" : "");
    }
    updatePorts(
        m_jackPorts, m_jack->sourcePorts(),
        [this](const std::string& name) { return m_jack->isDevicePort(name); },
        [this](const std::string& name, std::string& error) {
            error = "it can't be connected";
            return m_jack->connectSource(name);
        },
        [](const std::string&) {});
}

// What the server still had queued is lost with it; the keys it held are let go.
void KPMidiInput::jackGone()
{
    qWarning("KPMidiInput: JACK MIDI is gone");
    closeJack();
}

void KPMidiInput::setJackOutput(std::shared_ptr<KPJackDevice> output)
{
    if (output == m_jackOutput)
        return;
    m_jackOutput = std::move(output);
    if (m_jack) {
        // What was read (and perhaps struck) is told before the keys are let go.
        deliverJack();
        closeJack();
    }
    if (m_refreshTimer.isActive())
        refreshJack();
    updateListing();
}

void KPMidiInput::closeJack()
{
    m_jack.reset();
    m_jackPorts.open.clear();
    m_jackPorts.failed.clear();
    m_jackDecoder = KPMidiDecoder();
    for (uint32_t note = 0; note < m_jackHeld.size(); ++note) {
        if (m_jackHeld.test(note))
            emit keyReleased(note, false);
    }
    m_jackHeld.reset();
}

void KPMidiInput::updatePorts(Ports& ports, const std::vector<std::string>& names,
                              const std::function<bool(const std::string&)>& isDevice,
                              const std::function<bool(const std::string&, std::string&)>& open,
                              const std::function<void(const std::string&)>& close)
{
    const std::set<std::string> present(names.begin(), names.end());
    for (auto port = ports.open.begin(); port != ports.open.end();) {
        if (present.contains(*port)) {
            ++port;
            continue;
        }
        qWarning("KPMidiInput: %s port \"%s\" is gone", qPrintable(ports.system), port->c_str());
        close(*port);
        port = ports.open.erase(port);
    }
    std::erase_if(ports.failed,
                  [&present](const std::string& name) { return !present.contains(name); });
    for (const std::string& name : names) {
        if (ports.open.contains(name) || ports.failed.contains(name) ||
            ports.cutOff.contains(name) || !isDevice(name))
            continue;
        std::string error;
        if (!open(name, error)) {
            ports.failed.insert(name);
            qWarning("KPMidiInput: cannot open %s port \"%s\": %s", qPrintable(ports.system),
                     name.c_str(), error.empty() ? "it vanished" : error.c_str());
            continue;
        }
        qInfo("KPMidiInput: playing from %s port \"%s\"", qPrintable(ports.system), name.c_str());
        ports.open.insert(name);
    }
}

bool KPMidiInput::openAlsaPort(const std::string& name, std::string& error)
{
    t_lastError.clear();
    std::unique_ptr<RtMidiIn> input = makeAlsaInput();
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
    error = t_lastError;
    if (!input)
        return false;
    m_alsaOpenPorts.emplace(name, std::move(input));
    return true;
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
    reportDrops(m_inbox.takeAll(m_batch));
    for (const KPMidiInbox::Message& message : m_batch)
        play(m_alsaDecoder, message.data());
}

void KPMidiInput::deliverJack()
{
    if (!m_jack)
        return;
    reportDrops(m_jack->takeEvents(m_jackBatch));
    for (const KPJackMidiReader::Event& event : m_jackBatch)
        play(m_jackDecoder, event.data(), &m_jackHeld, m_jack->strikesOnOutput());
}

void KPMidiInput::reportDrops(size_t dropped)
{
    if (dropped > 0 && !std::exchange(m_reportedDrops, true))
        qWarning("KPMidiInput: %zu MIDI messages dropped: they came faster than they could "
                 "be played",
                 dropped);
}

void KPMidiInput::play(KPMidiDecoder& decoder, std::span<const uint8_t> message,
                       std::bitset<128>* held, bool sounded)
{
    m_events.clear();
    decoder.decode(message, m_events);
    for (const KPMidiKeyEvent& event : std::as_const(m_events)) {
        if (held)
            held->set(event.note, !event.isRelease());
        if (event.isRelease())
            emit keyReleased(event.note, sounded);
        else
            emit keyPressed(event.note, event.velocity, sounded);
    }
}
