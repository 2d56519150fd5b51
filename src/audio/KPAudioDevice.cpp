#include "audio/KPAudioDevice.h"

#include "audio/KPJackDevice.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPPlaybackDevice.h"

#include <QDebug>

namespace {

KPAudioDeviceOpener& defaultOpener()
{
    static KPAudioDeviceOpener opener;
    return opener;
}

std::unique_ptr<KPAudioDevice> openSystemDevice()
{
    if (auto device = KPPlaybackDevice::open()) {
        // Where OpenAL Soft chose JACK, our own client mixes in the server's cycle, a period
        // sooner than OpenAL Soft's backend.
        if (device->playsToJack()) {
            if (auto jack = KPJackDevice::open())
                return jack;
        }
        return device;
    }
    qWarning("KPAudioDevice: No audio device could be opened, playing into a silent output");
    return KPLoopbackDevice::open(KPLoopbackDevice::kDefaultRate,
                                  KPLoopbackDevice::Mixing::RealTime);
}

} // namespace

void KPAudioDevice::pause()
{
    if (m_paused)
        return;
    m_paused = true;
    pauseMix();
}

void KPAudioDevice::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    resumeMix();
}

std::shared_ptr<KPAudioDevice> KPAudioDevice::openDefault()
{
    if (defaultOpener())
        return defaultOpener()();
    // One device for everyone, so that one output stream (a wave capture, a JACK port) holds
    // both the notes and the clicks.
    static std::weak_ptr<KPAudioDevice> shared;
    std::shared_ptr<KPAudioDevice> device = shared.lock();
    if (!device) {
        device = openSystemDevice();
        shared = device;
    }
    return device;
}

void KPAudioDevice::setDefaultOpener(KPAudioDeviceOpener opener)
{
    defaultOpener() = std::move(opener);
}
