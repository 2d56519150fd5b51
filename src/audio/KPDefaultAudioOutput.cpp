#include "audio/KPDefaultAudioOutput.h"

#include "audio/KPPlaybackDevice.h"
#include "audio/KPSilentDevice.h"

#include <QDebug>

#include <atomic>

KPDefaultAudioOutput::KPDefaultAudioOutput(DeviceOpener openDefaultDevice)
    : m_openDefaultDevice(std::move(openDefaultDevice))
{}

std::unique_ptr<KPAudioDevice> KPDefaultAudioOutput::openDevice(int sampleRate)
{
    ALCdevice* device = m_openDefaultDevice ? m_openDefaultDevice() : alcOpenDevice(nullptr);
    if (device)
        return std::make_unique<KPPlaybackDevice>(device);
    // Said once per process: every bank switch opens a device again.
    static std::atomic<bool> reported = false;
    if (!reported.exchange(true))
        qWarning("KPAudioOutput: No audio device could be opened, playing into a silent output");
    return KPSilentDevice::open(sampleRate);
}
