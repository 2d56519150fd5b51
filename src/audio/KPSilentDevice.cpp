#include "audio/KPSilentDevice.h"

#include <chrono>
#include <vector>

namespace {
// One period of the shipped configuration.
constexpr int kPeriodFrames = 256;
} // namespace

std::unique_ptr<KPSilentDevice> KPSilentDevice::open(int sampleRate)
{
    ALCdevice* device = openLoopback(sampleRate);
    if (!device)
        return nullptr;
    return std::make_unique<KPSilentDevice>(device, sampleRate);
}

KPSilentDevice::KPSilentDevice(ALCdevice* device, int sampleRate)
    : KPLoopbackDevice(device, sampleRate),
      m_mixer([this](std::stop_token stop) { mix(std::move(stop)); })
{}

KPSilentDevice::~KPSilentDevice()
{
    m_mixer.request_stop();
    if (m_mixer.joinable())
        m_mixer.join();
}

void KPSilentDevice::mix(std::stop_token stop)
{
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(kPeriodFrames) / sampleRate()));
    std::vector<float> scratch(size_t(kPeriodFrames) * kChannels);
    auto due = Clock::now();
    while (!stop.stop_requested()) {
        render(scratch.data(), kPeriodFrames);
        due += period;
        const auto now = Clock::now();
        // After a stall (a suspended process) the mix goes on from now instead of racing ahead.
        if (due < now - 4 * period)
            due = now;
        std::this_thread::sleep_until(due);
    }
}
