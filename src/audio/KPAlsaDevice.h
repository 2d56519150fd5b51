#pragma once

#include "audio/KPHostDevice.h"

#include <memory>
#include <thread>

struct _snd_pcm;

// Output to ALSA's default device (a sound card, or a sound server's ALSA plugin) where neither
// JACK nor PipeWire runs: a thread of ours mixes one short period at a time and writes it as
// soon as the card has room, so a note waits for no more than the card's small buffer. An
// underrun is recovered from; a card that goes away loses the output (KPHostDevice).
class KPAlsaDevice : public KPHostDevice
{
public:
    static constexpr int kPeriodFrames = 128;
    static constexpr int kPeriods = 3;

    // Null when ALSA has no default device that takes stereo floats or 16-bit samples.
    [[nodiscard]] static std::unique_ptr<KPAlsaDevice> open(LostHandler lost = {});
    ~KPAlsaDevice() override;

    [[nodiscard]] KPALContextPtr createContext(std::optional<int> sampleRate) override;
    const char* outputName() const override { return "ALSA"; }

    struct PcmCloser
    {
        void operator()(_snd_pcm* pcm) const;
    };
    using Pcm = std::unique_ptr<_snd_pcm, PcmCloser>;

    KPAlsaDevice(ALCdevice* device, Pcm pcm, int sampleRate, bool floats, LostHandler lost);

private:
    void play(const std::stop_token& stop);

    Pcm m_pcm;
    const int m_rate;
    const bool m_floats;
    // Last, so that it stops writing before the rest goes.
    std::jthread m_writer;
};
