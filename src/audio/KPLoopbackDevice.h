#pragma once

#include "audio/KPAudioDevice.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class KPLoopbackOutput;

// OpenAL Soft's loopback device: the mix advances only when someone renders it, in stereo 32-bit
// float at the device's rate. Rendering may happen on another thread than the one that makes and
// destroys the contexts.
class KPLoopbackDevice : public KPAudioDevice
{
public:
    static constexpr int kChannels = 2;

    // A rate outside what OpenAL Soft can mix becomes 44100 Hz. Null when loopback is missing.
    [[nodiscard]] static std::unique_ptr<KPLoopbackDevice> open(int sampleRate);
    KPLoopbackDevice(ALCdevice* device, int sampleRate);
    ~KPLoopbackDevice() override;

    int sampleRate() const { return m_sampleRate; }

    [[nodiscard]] KPALContextPtr createContext() override;

    // Paused, or before any context exists, rendering gives silence and the mix stands still.
    void pause() override { m_paused = true; }
    void resume() override { m_paused = false; }

    // The next frames of the mix, interleaved left and right.
    void render(float* out, int frames);
    std::vector<float> render(int frames);

protected:
    // A loopback device that can mix at the rate, which is first made one OpenAL Soft can mix;
    // null when there is none.
    [[nodiscard]] static ALCdevice* openLoopback(int& sampleRate);

private:
    friend class KPLoopbackOutput;

    int m_sampleRate;
    std::atomic<bool> m_paused = false;
    // OpenAL Soft allocates the mixer's buffers when it makes the first context on a loopback
    // device, and reallocates them with every new one: no rendering before or during that.
    std::mutex m_mixLock;
    int m_contexts = 0;
    KPLoopbackOutput* m_owner = nullptr;
};
