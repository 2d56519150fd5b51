#include "audio/KPAudioDevice.h"

#include "audio/KPAudioOutput.h"

namespace {

KPAudioDeviceOpener& defaultOpener()
{
    static KPAudioDeviceOpener opener;
    return opener;
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
        device = KPAudioOutput::openPreferred();
        shared = device;
    }
    return device;
}

void KPAudioDevice::setDefaultOpener(KPAudioDeviceOpener opener)
{
    defaultOpener() = std::move(opener);
}
