#pragma once

#include "audio/KPLoopbackDevice.h"

#include <memory>
#include <thread>

// A loopback device mixed in real time into nothing, for machines without a sound card: sources
// advance and end exactly as they would on a real device, and nobody hears them.
class KPSilentDevice : public KPLoopbackDevice
{
public:
    [[nodiscard]] static std::unique_ptr<KPSilentDevice> open(int sampleRate);
    KPSilentDevice(ALCdevice* device, int sampleRate);
    ~KPSilentDevice() override;

private:
    void mix(std::stop_token stop);

    std::jthread m_mixer;
};
