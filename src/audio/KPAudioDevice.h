#pragma once

#include "audio/KPAudioHandles.h"

#include <AL/alc.h>

#include <memory>

struct KPALDeviceCloser
{
    void operator()(ALCdevice* device) const { alcCloseDevice(device); }
};

// An open OpenAL output device and whatever keeps it sounding. Every context made on it must be
// destroyed before the device.
class KPAudioDevice
{
public:
    virtual ~KPAudioDevice() = default;
    KPAudioDevice(const KPAudioDevice&) = delete;
    KPAudioDevice& operator=(const KPAudioDevice&) = delete;

    ALCdevice* get() const { return m_device.get(); }

    // A context on this device with the attributes the device needs; null when that fails.
    [[nodiscard]] virtual KPALContextPtr createContext();

    // Stops and restarts the mix, as an interruption of the application's audio does.
    virtual void pause() {}
    virtual void resume() {}

protected:
    explicit KPAudioDevice(ALCdevice* device) : m_device(device) {}

private:
    std::unique_ptr<ALCdevice, KPALDeviceCloser> m_device;
};
