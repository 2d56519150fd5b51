#pragma once

#include "midi/KPAlsaMidiSystem.h"
#include "midi/KPJackMidiClient.h"
#include "midi/KPMidiDecoder.h"
#include "midi/KPMidiInbox.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

class RtMidiIn;

// MIDI keyboards as players of the piano, on the ALSA sequencer (through RtMidi) and on JACK
// (through a client of our own): an input port "Touch Piano" that programs connect to, and every
// input port of a device, opened (on JACK: connected to ours) at start and again as devices come
// and go (looked for every 2 s). A port that cannot be opened or vanishes is logged once and
// changes nothing else; a JACK server that goes away releases the keys it held.
//
// Messages arrive on the input threads; they are handed to the main thread through queues that
// wake it at once, decoded there (KPMidiDecoder) and given out as keyPressed and keyReleased, by
// MIDI note number. While the sound goes to our JACK output, JACK MIDI is read in the output's
// cycle, which sounds each press at its frame: keyPressed then says it was sounded already.
class KPMidiInput : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kPortName = "Touch Piano";

    // An input port the piano can play from, as the MIDI connections view lists it.
    struct Port
    {
        // "ALSA" or "JACK".
        QString system;
        std::string name;
        // A keyboard's, connected by itself; else a program's.
        bool device = false;
        bool connected = false;

        friend bool operator==(const Port&, const Port&) = default;
    };

    // "ALSA: <port>" and "JACK: <port>" for every input port that can be played from now, or a
    // line saying that the system is not there.
    static QStringList listPorts();

    explicit KPMidiInput(QObject* parent = nullptr);
    ~KPMidiInput() override;

    // Opens our port and every device's, and keeps looking for new ones.
    void start();
    // Opens the ports that appeared since the last look and closes those that vanished.
    void refreshPorts();
    // What is open now, as "ALSA: <port>" and "JACK: <port>" lines, our own ports first.
    QStringList portsInUse() const;
    // The JACK output the sound goes to now, or null: JACK MIDI moves onto its client or off it,
    // letting go of the keys it held.
    void setJackOutput(std::shared_ptr<KPJackDevice> output);

    // Every port that can play, ALSA's first, as of the last look (every 2 s, and after each
    // change made here).
    const std::vector<Port>& ports() const { return m_listing; }
    // Connects a port to ours or cuts it off. A device cut off stays off, also when it comes
    // again, until it is connected here. False when it could not be done (the port is gone).
    bool setConnected(const QString& system, const std::string& name, bool connected);

signals:
    // ports() changed: a port came or went, or was connected or cut off.
    void portsChanged();
    // `sounded`: the output struck the note itself.
    void keyPressed(uint32_t note, uint8_t velocity, bool sounded);
    void keyReleased(uint32_t note, bool sounded);

private:
    // The device ports of one system in use, and those that failed to open: logged once, tried
    // again only after they vanish.
    struct Ports
    {
        explicit Ports(QString systemName) : system(std::move(systemName)) {}

        QString system;
        std::set<std::string> open;
        std::set<std::string> failed;
        // Devices the user cut off: never opened by themselves.
        std::set<std::string> cutOff;
        bool reportedMissing = false;
    };

    static void received(double timeStamp, std::vector<unsigned char>* message, void* input);
    Q_INVOKABLE void deliver();
    void deliverJack();
    void play(KPMidiDecoder& decoder, std::span<const uint8_t> message,
              std::bitset<128>* held = nullptr, bool sounded = false);
    void reportDrops(size_t dropped);
    void refreshAlsa();
    void refreshJack();
    void jackGone();
    void closeJack();
    bool openAlsaPort(const std::string& name, std::string& error);
    void updatePorts(Ports& ports, const std::vector<std::string>& names,
                     const std::function<bool(const std::string&)>& isDevice,
                     const std::function<bool(const std::string&, std::string&)>& open,
                     const std::function<void(const std::string&)>& close);
    static void reportMissing(Ports& ports, const QString& why);
    // Looks at every port again, and tells when the listing changed.
    void updateListing();
    bool connectAlsa(const std::string& name, bool connected);
    bool connectJack(const std::string& name, bool connected);

    KPMidiInbox m_inbox;
    std::vector<KPMidiInbox::Message> m_batch;
    QList<KPMidiKeyEvent> m_events;
    KPMidiDecoder m_alsaDecoder;
    KPAlsaMidiSystem m_alsa;
    Ports m_alsaPorts{KPAlsaMidiSystem::name()};
    // Open while the sequencer is there; also the list of its ports.
    std::unique_ptr<RtMidiIn> m_alsaVirtualPort;
    std::map<std::string, std::unique_ptr<RtMidiIn>> m_alsaOpenPorts;

    std::shared_ptr<KPJackDevice> m_jackOutput;
    std::unique_ptr<KPJackMidiClient> m_jack;
    Ports m_jackPorts{QStringLiteral("JACK")};
    std::vector<KPJackMidiReader::Event> m_jackBatch;
    KPMidiDecoder m_jackDecoder;
    // Keys pressed from JACK and not yet released.
    std::bitset<128> m_jackHeld;

    std::vector<Port> m_listing;
    QTimer m_refreshTimer;
    bool m_reportedDrops = false;
};
