#include "midi/KPMidiOutput.h"

#include "audio/KPJackDevice.h"

#include <RtMidi.h>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <QDebug>

#include <array>
#include <utility>

namespace {

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kSustainPedal = 64;
constexpr uint8_t kHighest = 127;

void alsaError(RtMidiError::Type type, const std::string& text, void* /*userData*/)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        qWarning("KPMidiOutput: ALSA: %s", text.c_str());
}

} // namespace

KPMidiOutput::KPMidiOutput() = default;

KPMidiOutput::~KPMidiOutput()
{
    closeJack();
}

void KPMidiOutput::start()
{
    if (m_alsaPort || !m_alsa.runs())
        return;
    try {
        auto port = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kPortName);
        port->setErrorCallback(alsaError);
        port->openVirtualPort(kPortName);
        if (port->isPortOpen())
            m_alsaPort = std::move(port);
    } catch (const RtMidiError& error) {
        qWarning("KPMidiOutput: cannot open the output port on ALSA: %s",
                 error.getMessage().c_str());
    }
    if (m_alsaPort)
        qInfo("KPMidiOutput: output \"%s\" open on ALSA", kPortName);
}

void KPMidiOutput::setJackOutput(std::shared_ptr<KPJackDevice> output)
{
    if (output == m_jackOutput)
        return;
    closeJack();
    if (!output || output->isLost())
        return;
    m_jackPort = jack_port_register(output->client(), kJackPortName, JACK_DEFAULT_MIDI_TYPE,
                                    JackPortIsOutput, 0);
    if (!m_jackPort) {
        qWarning("KPMidiOutput: cannot make the output port on JACK");
        return;
    }
    m_jackOutput = std::move(output);
    m_jackOutput->setCycleWriter(&KPMidiOutput::writeCycle, this);
    qInfo("KPMidiOutput: output \"%s\" open on JACK", jack_port_name(m_jackPort));
}

void KPMidiOutput::closeJack()
{
    if (!m_jackOutput)
        return;
    m_jackOutput->setCycleWriter(nullptr, nullptr);
    jack_port_unregister(m_jackOutput->client(), m_jackPort);
    m_jackPort = nullptr;
    m_jackOutput.reset();
    m_jackWriter.discard();
}

// On the output's JACK thread.
void KPMidiOutput::writeCycle(void* self, uint32_t frames, int64_t firstFrame)
{
    auto* output = static_cast<KPMidiOutput*>(self);
    output->m_jackWriter.writeCycle(jack_port_get_buffer(output->m_jackPort, frames), frames,
                                    firstFrame);
}

void KPMidiOutput::noteOn(uint32_t note, uint8_t velocity)
{
    if (note >= kNoteCount || velocity == 0)
        return;
    if (m_sounding.test(note))
        noteOff(note);
    send(std::array{kNoteOn, uint8_t(note), std::min(velocity, kHighest)});
    m_sounding.set(note);
}

void KPMidiOutput::noteOff(uint32_t note)
{
    if (!isSounding(note))
        return;
    send(std::array{kNoteOff, uint8_t(note), uint8_t(0)});
    m_sounding.reset(note);
}

void KPMidiOutput::setSustain(bool down)
{
    send(std::array{kControlChange, kSustainPedal, down ? kHighest : uint8_t(0)});
}

void KPMidiOutput::send(std::span<const uint8_t> message)
{
    if (m_alsaPort)
        m_alsaPort->sendMessage(message.data(), message.size());
    if (m_jackPort && !m_jackWriter.writeNow(message) && !std::exchange(m_reportedFull, true))
        qWarning("KPMidiOutput: JACK MIDI messages dropped: the output takes none");
}
