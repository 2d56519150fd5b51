#include "audio/KPHostDevice.h"

#include <utility>

KPHostDevice::KPHostDevice(ALCdevice* device, int sampleRate, LostHandler lost)
    : KPLoopbackDevice(device, sampleRate, Mixing::OnRender, true), m_lostHandler(std::move(lost))
{}

void KPHostDevice::lose()
{
    if (m_lost.exchange(true))
        return;
    const std::lock_guard lock(m_lostLock);
    if (m_lostHandler)
        m_lostHandler();
}

void KPHostDevice::forgetLost()
{
    const std::lock_guard lock(m_lostLock);
    m_lostHandler = nullptr;
}
