#pragma once

#include "midi/KPMidiDecoder.h"
#include "midi/KPMidiInbox.h"
#include "midi/KPMidiSystem.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class RtMidiIn;

// MIDI keyboards as players of the piano, through RtMidi on both the ALSA sequencer and JACK:
// a virtual input port "Touch Piano" that programs connect to, and every input port of a device,
// opened at start and again as devices come and go (looked for every 2 s). A port that cannot
// be opened or vanishes is logged once and changes nothing else.
//
// Messages arrive on the input threads; they are handed to the main thread through an inbox
// that wakes it at once, decoded there (KPMidiDecoder) and given out as keyPressed and
// keyReleased, by MIDI note number.
class KPMidiInput : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kPortName = "Touch Piano";

    // "ALSA: <port>" and "JACK: <port>" for every input port that can be opened now, or a line
    // saying that the system is not there.
    static QStringList listPorts();

    explicit KPMidiInput(QObject* parent = nullptr);
    ~KPMidiInput() override;

    // Opens the virtual port and every input port, and keeps looking for new ones.
    void start();
    // Opens the ports that appeared since the last look and closes those that vanished.
    void refreshPorts();
    // What is open now, as "ALSA: <port>" and "JACK: <port>" lines, virtual ports first.
    QStringList portsInUse() const;

signals:
    void keyPressed(uint32_t note, uint8_t velocity);
    void keyReleased(uint32_t note);

private:
    struct System
    {
        explicit System(KPMidiSystem::Kind kind);
        ~System();

        KPMidiSystem query;
        QString name;
        // Open while the system is there; also the list of the system's ports.
        std::unique_ptr<RtMidiIn> virtualPort;
        std::map<std::string, std::unique_ptr<RtMidiIn>> openPorts;
        // Ports that failed to open: logged once, tried again only after they vanish.
        std::set<std::string> failedPorts;
        bool reportedMissing = false;
    };

    static void received(double timeStamp, std::vector<unsigned char>* message, void* input);
    Q_INVOKABLE void deliver();
    void refresh(System& system);
    void openPort(System& system, const std::string& name);

    KPMidiInbox m_inbox;
    std::vector<KPMidiInbox::Message> m_batch;
    QList<KPMidiKeyEvent> m_events;
    KPMidiDecoder m_decoder;
    std::array<System, 2> m_systems;
    QTimer m_refreshTimer;
    bool m_reportedDrops = false;
};
