#include "audio/KPAlsaDevice.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QDebug>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <vector>

namespace {

constexpr unsigned kRate = 48000;

// ALSA's library writes its own errors to standard error (no card, a missing plugin): each one
// is a reason to move on, which the output logs itself.
void quiet(const char*, int, const char*, int, const char*, ...) {}

// Stereo interleaved at the rate, in periods of our own size; false when the device refuses.
bool configure(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned& rate)
{
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_uframes_t period = KPAlsaDevice::kPeriodFrames;
    snd_pcm_uframes_t buffer = period * KPAlsaDevice::kPeriods;
    int direction = 0;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, format) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, KPLoopbackDevice::kChannels) < 0 ||
        snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, &direction) < 0 ||
        snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &direction) < 0 ||
        snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer) < 0 ||
        snd_pcm_hw_params(pcm, hw) < 0)
        return false;
    return snd_pcm_prepare(pcm) >= 0;
}

int16_t toShort(float sample)
{
    return int16_t(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
}

} // namespace

void KPAlsaDevice::PcmCloser::operator()(_snd_pcm* pcm) const
{
    snd_pcm_close(pcm);
}

std::unique_ptr<KPAlsaDevice> KPAlsaDevice::open(LostHandler lost)
{
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
        return nullptr;
    snd_lib_error_set_handler(quiet);
    snd_pcm_t* opened = nullptr;
    if (snd_pcm_open(&opened, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0)
        return nullptr;
    Pcm pcm(opened);
    unsigned rate = kRate;
    bool floats = configure(pcm.get(), SND_PCM_FORMAT_FLOAT, rate);
    if (!floats && !configure(pcm.get(), SND_PCM_FORMAT_S16, rate))
        return nullptr;
    std::unique_ptr<ALCdevice, KPALDeviceCloser> device(alcLoopbackOpenDeviceSOFT(nullptr));
    if (!device || !alcIsRenderFormatSupportedSOFT(device.get(), ALCsizei(rate), ALC_STEREO_SOFT,
                                                   ALC_FLOAT_SOFT))
        return nullptr;
    qInfo("KPAlsaDevice: sound goes to ALSA's default device at %u Hz, in periods of %d frames",
          rate, kPeriodFrames);
    return std::make_unique<KPAlsaDevice>(device.release(), std::move(pcm), int(rate), floats,
                                          std::move(lost));
}

KPAlsaDevice::KPAlsaDevice(ALCdevice* device, Pcm pcm, int sampleRate, bool floats,
                           LostHandler lost)
    : KPHostDevice(device, sampleRate, std::move(lost)), m_pcm(std::move(pcm)), m_rate(sampleRate),
      m_floats(floats)
{
    setMixesOnItsOwn(kPeriodFrames);
    m_writer = std::jthread([this](const std::stop_token& stop) { play(stop); });
}

KPAlsaDevice::~KPAlsaDevice()
{
    m_writer.request_stop();
    if (m_writer.joinable())
        m_writer.join();
}

KPALContextPtr KPAlsaDevice::createContext(std::optional<int>)
{
    return KPLoopbackDevice::createContext(m_rate);
}

// Writing blocks until the card has room for a period: the card's clock paces the mix.
void KPAlsaDevice::play(const std::stop_token& stop)
{
    std::vector<float> mix(size_t(kPeriodFrames) * kChannels);
    std::vector<int16_t> shorts(m_floats ? 0 : mix.size());
    while (!stop.stop_requested() && !isLost()) {
        anchor(std::chrono::steady_clock::now());
        render(mix.data(), kPeriodFrames);
        if (!m_floats)
            std::transform(mix.begin(), mix.end(), shorts.begin(), toShort);
        const void* samples = m_floats ? static_cast<const void*>(mix.data()) : shorts.data();
        snd_pcm_sframes_t written = snd_pcm_writei(m_pcm.get(), samples, kPeriodFrames);
        if (written < 0)
            written = snd_pcm_recover(m_pcm.get(), int(written), 1);
        if (written < 0)
            lose();
    }
}
