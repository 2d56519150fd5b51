#include "audio/KPPlaybackDevice.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

KPPlaybackDevice::KPPlaybackDevice(ALCdevice* device) : KPAudioDevice(device) {}

// OpenAL Soft's alcSuspendContext only holds back property changes; pausing the device is what
// stops the sound.
void KPPlaybackDevice::pause()
{
    if (alcIsExtensionPresent(get(), "ALC_SOFT_pause_device"))
        alcDevicePauseSOFT(get());
}

void KPPlaybackDevice::resume()
{
    if (alcIsExtensionPresent(get(), "ALC_SOFT_pause_device"))
        alcDeviceResumeSOFT(get());
}
