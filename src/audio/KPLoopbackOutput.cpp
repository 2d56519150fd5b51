#include "audio/KPLoopbackOutput.h"

KPLoopbackOutput::~KPLoopbackOutput()
{
    if (m_device)
        m_device->m_owner = nullptr;
}

std::unique_ptr<KPAudioDevice> KPLoopbackOutput::openDevice(int sampleRate)
{
    auto device = KPLoopbackDevice::open(sampleRate);
    if (device) {
        if (m_device)
            m_device->m_owner = nullptr;
        device->m_owner = this;
        m_device = device.get();
        ++m_devicesOpened;
    }
    return device;
}

void KPLoopbackOutput::deviceClosed(KPLoopbackDevice* device)
{
    if (m_device == device)
        m_device = nullptr;
}
