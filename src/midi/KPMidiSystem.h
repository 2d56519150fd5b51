#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <string>

struct _jack_client;
struct _snd_seq;

// One MIDI system (the ALSA sequencer or a JACK server) as RtMidi names its ports: whether it
// runs now, and whether a port belongs to a device. Programs are left to connect to our own
// port: opening their ports as well would play each of their notes twice.
class KPMidiSystem
{
public:
    enum class Kind {
        Alsa,
        Jack,
    };

    explicit KPMidiSystem(Kind kind);
    ~KPMidiSystem();
    KPMidiSystem(const KPMidiSystem&) = delete;
    KPMidiSystem& operator=(const KPMidiSystem&) = delete;

    Kind kind() const { return m_kind; }
    // "ALSA" or "JACK".
    QString name() const;
    // Why it is not there, for a log line.
    QString missingText() const;

    // Connects to the system if it was not yet, and tells whether it is there; no, once, after
    // a JACK server went away.
    bool runs();
    // A port of a device (a keyboard, a sound card's MIDI in), not of a program: on ALSA a port
    // of a kernel client other than "Midi Through", on JACK a physical port.
    bool isDevicePort(const std::string& portName);

    // Sends the libraries' own messages, printed whenever a system is missing, to a debug
    // category instead of standard error.
    static void quietenLibraries();

private:
    struct JackCloser
    {
        void operator()(_jack_client* client) const;
    };
    struct SequencerCloser
    {
        void operator()(_snd_seq* sequencer) const;
    };

    const Kind m_kind;
    std::unique_ptr<_jack_client, JackCloser> m_jack;
    std::unique_ptr<_snd_seq, SequencerCloser> m_sequencer;
    // Set by JACK's thread when the server goes away.
    std::atomic<bool> m_jackShutDown = false;
};
