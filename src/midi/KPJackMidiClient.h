#pragma once

#include "audio/KPNoteEvent.h"
#include "midi/KPJackMidiReader.h"
#include "midi/KPMidiDecoder.h"

#include <QObject>
#include <QSocketNotifier>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class KPJackDevice;
struct _jack_client;
struct _jack_port;

// Our own MIDI input on a JACK server: the client "Touch Piano" with one input port, "Touch
// Piano", that other programs connect to and that devices' ports are connected to. The process
// callback reads each cycle into a KPJackMidiReader, every event with its frame, and wakes the
// main thread without blocking (an eventfd); eventsArrived and serverGone are told there.
//
// While our sound goes to JACK the port lives on the output's client instead ("Touch Piano
// output:Touch Piano"): a port can only be read in its own client's cycle, and read there each
// press sounds in the cycle it arrives in, at its own frame, before the main thread hears of it,
// and each release (the pedal's included) lets its note go at its own frame too, unless a
// player on the main thread holds the note. The main thread decodes the same messages in the
// same order, so it hears of the same presses and releases.
// Main thread only, but for the callbacks.
class KPJackMidiClient : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kName = "Touch Piano";

    // Connects to a running server, which is never started; null when there is none. Only a
    // listening client registers the port and runs.
    enum class Mode {
        Query,
        Listen,
    };
    [[nodiscard]] static std::unique_ptr<KPJackMidiClient> open(Mode mode);
    // Listens on the output's client, whose cycles strike the presses; null when the port can't
    // be made there. Keeps the output until it goes.
    [[nodiscard]] static std::unique_ptr<KPJackMidiClient>
    attach(std::shared_ptr<KPJackDevice> output);
    ~KPJackMidiClient() override;

    // "<client>:<port>" of every MIDI output port on the server, ours excepted: what can play.
    std::vector<std::string> sourcePorts() const;
    // A port of a device (JACK's physical ports), not of a program.
    bool isDevicePort(const std::string& portName) const;
    // Connects the port to ours; true when they are (also when they were already).
    bool connectSource(const std::string& portName);
    // Whether the port is connected to ours, and ending that.
    bool isConnected(const std::string& portName) const;
    void disconnectSource(const std::string& portName);
    // Everything read since the last call, in order; and how many messages were dropped.
    size_t takeEvents(std::vector<KPJackMidiReader::Event>& out) { return m_reader.takeAll(out); }
    bool isServerGone() const;
    // The presses and releases taken were sounded by the output already.
    bool strikesOnOutput() const { return m_output != nullptr; }
    // "Touch Piano:Touch Piano", or "Touch Piano output:Touch Piano" on the output's client.
    std::string portName() const;

signals:
    void eventsArrived();
    void serverGone();

private:
    struct ClientCloser
    {
        // The output's client is the output's to close.
        bool owned = true;
        void operator()(_jack_client* client) const;
    };
    // The output's cycle being read: where its presses go.
    struct Cycle
    {
        KPJackMidiClient* client;
        std::span<KPNoteEvent> out;
        size_t count = 0;
        uint32_t start = 0;
    };

    [[nodiscard]] static std::unique_ptr<KPJackMidiClient>
    make(_jack_client* client, std::shared_ptr<KPJackDevice> output);
    KPJackMidiClient(_jack_client* client, int wakeFd, std::shared_ptr<KPJackDevice> output);
    bool listenOnOutput();
    bool listen();
    void wake();
    void woken();
    static int process(uint32_t frames, void* self);
    static void shutDown(void* self);
    static size_t readOutputCycle(void* self, uint32_t frames, std::span<KPNoteEvent> out);
    static void strike(void* cycle, const KPJackMidiReader::Event& event);

    // The output's JACK thread's own decoding of what it reads.
    KPMidiDecoder m_cycleDecoder;
    KPJackMidiReader m_reader;
    int m_wakeFd;
    QSocketNotifier m_wakeNotifier;
    std::atomic<bool> m_serverGone = false;
    _jack_port* m_port = nullptr;
    // Set while the port lives on the output's client.
    std::shared_ptr<KPJackDevice> m_output;
    // Closed first, so that no callback runs into a half-gone object.
    std::unique_ptr<_jack_client, ClientCloser> m_client;
};
