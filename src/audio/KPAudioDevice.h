#pragma once

#include "audio/KPAudioHandles.h"

#include <AL/alc.h>

#include <functional>
#include <memory>
#include <optional>

struct KPALDeviceCloser
{
    void operator()(ALCdevice* device) const { alcCloseDevice(device); }
};

class KPAudioDevice;
// Opens the device a sound plays on, or hands out one that is open already; null when there is
// none.
using KPAudioDeviceOpener = std::function<std::shared_ptr<KPAudioDevice>()>;

// An open OpenAL output device and whatever keeps it sounding. The instrument and the system
// sounds each make their own context on it; every context must be destroyed before the device.
class KPAudioDevice
{
public:
    virtual ~KPAudioDevice() = default;
    KPAudioDevice(const KPAudioDevice&) = delete;
    KPAudioDevice& operator=(const KPAudioDevice&) = delete;

    ALCdevice* get() const { return m_device.get(); }

    // A context on this device, asking for a mix at sampleRate hertz (a device that can't choose
    // its rate ignores it; without one the device keeps its rate); null when that fails.
    [[nodiscard]] virtual KPALContextPtr createContext(std::optional<int> sampleRate) = 0;

    // Stops and restarts the mix of every context on the device, as an interruption of the
    // application's audio does.
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

    // The program's device, shared by the instrument and the system sounds and open while either
    // holds it: the system's default output or, on a machine without a sound card, a loopback
    // device mixing into nothing in real time.
    [[nodiscard]] static std::shared_ptr<KPAudioDevice> openDefault();
    // Makes openDefault() answer with the opener's devices instead (tests that listen to the
    // shared players); an empty opener restores the system's.
    static void setDefaultOpener(KPAudioDeviceOpener opener);

protected:
    explicit KPAudioDevice(ALCdevice* device) : m_device(device) {}

private:
    virtual void pauseMix() {}
    virtual void resumeMix() {}

    std::unique_ptr<ALCdevice, KPALDeviceCloser> m_device;
    bool m_paused = false;
};
