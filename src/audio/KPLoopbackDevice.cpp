#include "audio/KPLoopbackDevice.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <algorithm>
#include <chrono>

namespace {
constexpr int kMinimumRate = 8000;
constexpr int kMaximumRate = 192000;
// One period of the shipped configuration.
constexpr int kPeriodFrames = 256;

int mixableRate(int sampleRate)
{
    return sampleRate < kMinimumRate || sampleRate > kMaximumRate ? KPLoopbackDevice::kDefaultRate
                                                                  : sampleRate;
}

} // namespace

std::unique_ptr<KPLoopbackDevice> KPLoopbackDevice::open(int sampleRate, Mixing mixing)
{
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
        return nullptr;
    sampleRate = mixableRate(sampleRate);
    std::unique_ptr<ALCdevice, KPALDeviceCloser> device(alcLoopbackOpenDeviceSOFT(nullptr));
    if (!device ||
        !alcIsRenderFormatSupportedSOFT(device.get(), sampleRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT))
        return nullptr;
    return std::make_unique<KPLoopbackDevice>(device.release(), sampleRate, mixing);
}

KPLoopbackDevice::KPLoopbackDevice(ALCdevice* device, int sampleRate, Mixing mixing, bool limited)
    : KPAudioDevice(device), m_sampleRate(sampleRate), m_limited(limited)
{
    if (mixing == Mixing::RealTime)
        m_mixer = std::jthread([this](std::stop_token stop) { mixInRealTime(std::move(stop)); });
}

KPALContextPtr KPLoopbackDevice::createContext(std::optional<int> sampleRate)
{
    std::lock_guard lock(m_mixLock);
    const int rate = sampleRate ? mixableRate(*sampleRate) : m_sampleRate.load();
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 rate,
                                 m_limited ? ALC_OUTPUT_LIMITER_SOFT : 0,
                                 ALC_TRUE,
                                 0};
    ALCcontext* context = alcCreateContext(get(), attributes);
    if (!context)
        return nullptr;
    m_sampleRate = rate;
    ++m_contexts;
    return KPALContextPtr(context, [this](ALCcontext* doomed) {
        std::lock_guard destroyLock(m_mixLock);
        KPDestroyALContext(doomed);
        --m_contexts;
    });
}

void KPLoopbackDevice::render(float* out, int frames)
{
    std::lock_guard lock(m_mixLock);
    mix(out, frames);
}

bool KPLoopbackDevice::tryRender(float* out, int frames)
{
    std::unique_lock lock(m_mixLock, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    mix(out, frames);
    return true;
}

void KPLoopbackDevice::mix(float* out, int frames)
{
    if (frames <= 0)
        return;
    if (m_mixPaused || m_contexts == 0)
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

void KPLoopbackDevice::mixInRealTime(std::stop_token stop)
{
    using Clock = std::chrono::steady_clock;
    std::vector<float> scratch(size_t(kPeriodFrames) * kChannels);
    auto due = Clock::now();
    while (!stop.stop_requested()) {
        render(scratch.data(), kPeriodFrames);
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(kPeriodFrames) / m_sampleRate));
        due += period;
        const auto now = Clock::now();
        // After a stall (a suspended process) the mix goes on from now instead of racing ahead.
        if (due < now - 4 * period)
            due = now;
        std::this_thread::sleep_until(due);
    }
}
