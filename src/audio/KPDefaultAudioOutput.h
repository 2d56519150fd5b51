#pragma once

#include "audio/KPAudioOutput.h"

#include <AL/alc.h>

#include <functional>

// The system's default device; on a machine without a sound card (opening the default device
// fails) a silent device that mixes in real time, so the program runs on as if it played.
class KPDefaultAudioOutput : public KPAudioOutput
{
public:
    using DeviceOpener = std::function<ALCdevice*()>;

    // The opener stands in for opening the default device (tests); none opens the real one.
    explicit KPDefaultAudioOutput(DeviceOpener openDefaultDevice = {});

    [[nodiscard]] std::unique_ptr<KPAudioDevice> openDevice(int sampleRate) override;

private:
    DeviceOpener m_openDefaultDevice;
};
