#include "KPJackMidiDevice.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <array>

KPJackMidiDevice::KPJackMidiDevice(const char* clientName)
{
    m_client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (!m_client)
        return;
    m_queue = jack_ringbuffer_create(4096);
    jack_set_process_callback(m_client, &KPJackMidiDevice::process, this);
    jack_port_t* port =
        jack_port_register(m_client, "out", JACK_DEFAULT_MIDI_TYPE,
                           JackPortIsOutput | JackPortIsPhysical | JackPortIsTerminal, 0);
    if (port && jack_activate(m_client) == 0)
        m_port = port;
}

KPJackMidiDevice::~KPJackMidiDevice()
{
    if (m_client)
        jack_client_close(m_client);
    if (m_queue)
        jack_ringbuffer_free(m_queue);
}

QString KPJackMidiDevice::portName() const
{
    return m_port ? QString::fromUtf8(jack_port_name(m_port)) : QString();
}

// A record: the size, the frame in the cycle, the message.
void KPJackMidiDevice::send(std::initializer_list<uint8_t> message, uint8_t frame)
{
    std::array<uint8_t, 5> record{uint8_t(message.size()), frame};
    // Whole records only: a part of one would garble every message after it.
    if (!m_port || jack_ringbuffer_write_space(m_queue) < record.size())
        return;
    std::copy(message.begin(), message.end(), record.begin() + 2);
    jack_ringbuffer_write(m_queue, reinterpret_cast<const char*>(record.data()), record.size());
}

int KPJackMidiDevice::process(uint32_t frames, void* device)
{
    auto* self = static_cast<KPJackMidiDevice*>(device);
    void* buffer = jack_port_get_buffer(self->m_port, frames);
    jack_midi_clear_buffer(buffer);
    std::array<uint8_t, 5> record{};
    while (jack_ringbuffer_read_space(self->m_queue) >= record.size()) {
        jack_ringbuffer_read(self->m_queue, reinterpret_cast<char*>(record.data()), record.size());
        const uint32_t frame = std::min<uint32_t>(record[1], frames - 1);
        if (jack_midi_event_write(buffer, frame, record.data() + 2, record[0]) == 0)
            self->m_lastSentFrame = jack_last_frame_time(self->m_client) + frame;
    }
    return 0;
}
