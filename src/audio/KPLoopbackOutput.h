#pragma once

#include "audio/KPAudioOutput.h"
#include "audio/KPLoopbackDevice.h"

// An output of loopback devices for tests and benchmarks, which render the mix themselves to
// hear what a listener would. Must outlive the devices it opens.
class KPLoopbackOutput : public KPAudioOutput
{
public:
    ~KPLoopbackOutput() override;

    [[nodiscard]] std::unique_ptr<KPAudioDevice> openDevice(int sampleRate) override;

    // The device opened last while it is open; null otherwise.
    KPLoopbackDevice* device() const { return m_device; }
    int devicesOpened() const { return m_devicesOpened; }

private:
    friend class KPLoopbackDevice;
    void deviceClosed(KPLoopbackDevice* device);

    KPLoopbackDevice* m_device = nullptr;
    int m_devicesOpened = 0;
};
