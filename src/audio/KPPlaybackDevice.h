#pragma once

#include "audio/KPAudioDevice.h"

// The system's default output, mixed by OpenAL's own thread at a rate of its choosing.
class KPPlaybackDevice : public KPAudioDevice
{
public:
    // Takes over an opened device (never null).
    explicit KPPlaybackDevice(ALCdevice* device);

    void pause() override;
    void resume() override;
};
