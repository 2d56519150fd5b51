#pragma once

#include <QString>

#include <memory>
#include <string>

struct _snd_seq;

// The ALSA sequencer as RtMidi names its ports: whether it runs now, and whether a port belongs
// to a device. Programs are left to connect to our own port: opening their ports as well would
// play each of their notes twice.
class KPAlsaMidiSystem
{
public:
    KPAlsaMidiSystem();
    ~KPAlsaMidiSystem();
    KPAlsaMidiSystem(const KPAlsaMidiSystem&) = delete;
    KPAlsaMidiSystem& operator=(const KPAlsaMidiSystem&) = delete;

    static QString name() { return QStringLiteral("ALSA"); }
    // Why it is not there, for a log line.
    static QString missingText() { return QStringLiteral("no ALSA sequencer"); }

    // Connects to the sequencer if it was not yet, and tells whether it is there.
    bool runs();
    // A port of a kernel client other than "Midi Through" (a keyboard, a sound card's MIDI in).
    bool isDevicePort(const std::string& portName);
    // A port of this process's own clients (our output).
    bool isOurs(const std::string& portName);
    // Whether the port sends to one of ours (opened by us, or connected to our input).
    bool feedsUs(const std::string& portName);
    // Ends every connection from the port to ours.
    void cutFromUs(const std::string& portName);

    // Sends the library's own messages, printed whenever the sequencer is missing, to a debug
    // category instead of standard error.
    static void quietenLibrary();

private:
    // The port's clients that are ours, by the address each subscription reaches.
    template <typename Each> void forEachOfOurs(const std::string& portName, Each each);
    bool isOurClient(int client);

    struct SequencerCloser
    {
        void operator()(_snd_seq* sequencer) const;
    };

    std::unique_ptr<_snd_seq, SequencerCloser> m_sequencer;
};
