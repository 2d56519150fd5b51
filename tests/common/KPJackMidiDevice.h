#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <initializer_list>

#include <jack/jack.h>
#include <jack/ringbuffer.h>

// A MIDI keyboard as a JACK server sees one: a client with a physical MIDI output port "out".
// Messages sent go out in the next cycle, at its first frame or the one asked for. Made on the
// default server (JACK_DEFAULT_SERVER).
class KPJackMidiDevice
{
public:
    explicit KPJackMidiDevice(const char* clientName = "Test Keyboard");
    ~KPJackMidiDevice();
    KPJackMidiDevice(const KPJackMidiDevice&) = delete;
    KPJackMidiDevice& operator=(const KPJackMidiDevice&) = delete;

    bool isOpen() const { return m_port != nullptr; }
    // "<client>:out".
    QString portName() const;
    // Sends nothing when the device is not open, or more than a cycle's worth waits already.
    void send(std::initializer_list<uint8_t> message, uint8_t frame = 0);
    // The server's frame at which the last message went out; 0 before any did.
    uint32_t lastSentFrame() const { return m_lastSentFrame; }

private:
    static int process(uint32_t frames, void* device);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    jack_ringbuffer_t* m_queue = nullptr;
    std::atomic<uint32_t> m_lastSentFrame = 0;
};
