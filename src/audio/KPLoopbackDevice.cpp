#include "audio/KPLoopbackDevice.h"

#include "audio/KPLoopbackOutput.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <algorithm>

namespace {
constexpr int kMinimumRate = 8000;
constexpr int kMaximumRate = 192000;
constexpr int kFallbackRate = 44100;
} // namespace

ALCdevice* KPLoopbackDevice::openLoopback(int& sampleRate)
{
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
        return nullptr;
    if (sampleRate < kMinimumRate || sampleRate > kMaximumRate)
        sampleRate = kFallbackRate;
    std::unique_ptr<ALCdevice, KPALDeviceCloser> device(alcLoopbackOpenDeviceSOFT(nullptr));
    if (!device ||
        !alcIsRenderFormatSupportedSOFT(device.get(), sampleRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT))
        return nullptr;
    return device.release();
}

std::unique_ptr<KPLoopbackDevice> KPLoopbackDevice::open(int sampleRate)
{
    ALCdevice* device = openLoopback(sampleRate);
    if (!device)
        return nullptr;
    return std::make_unique<KPLoopbackDevice>(device, sampleRate);
}

KPLoopbackDevice::KPLoopbackDevice(ALCdevice* device, int sampleRate)
    : KPAudioDevice(device), m_sampleRate(sampleRate)
{}

KPLoopbackDevice::~KPLoopbackDevice()
{
    if (m_owner)
        m_owner->deviceClosed(this);
}

KPALContextPtr KPLoopbackDevice::createContext()
{
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 m_sampleRate,
                                 0};
    std::lock_guard lock(m_mixLock);
    ALCcontext* context = alcCreateContext(get(), attributes);
    if (!context)
        return nullptr;
    ++m_contexts;
    return KPALContextPtr(context, [this](ALCcontext* doomed) {
        std::lock_guard destroyLock(m_mixLock);
        KPDestroyALContext(doomed);
        --m_contexts;
    });
}

void KPLoopbackDevice::render(float* out, int frames)
{
    if (frames <= 0)
        return;
    std::lock_guard lock(m_mixLock);
    if (m_paused || m_contexts == 0)
        std::fill_n(out, size_t(frames) * kChannels, 0.0f);
    else
        alcRenderSamplesSOFT(get(), out, frames);
}

std::vector<float> KPLoopbackDevice::render(int frames)
{
    std::vector<float> out(size_t(std::max(frames, 0)) * kChannels);
    render(out.data(), frames);
    return out;
}
