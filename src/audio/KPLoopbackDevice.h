#pragma once

#include "audio/KPAudioDevice.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// OpenAL Soft's loopback device: the mix advances only when it is rendered, in stereo 32-bit
// float at the device's rate. Tests and offline rendering pull the samples themselves; mixed in
// real time on a thread of its own into nothing, it is the output of a machine without a sound
// card, where sources advance and end exactly as they would on a real device. Rendering may
// happen on another thread than the one that makes and destroys the contexts.
class KPLoopbackDevice : public KPAudioDevice
{
public:
    static constexpr int kChannels = 2;
    static constexpr int kDefaultRate = 44100;

    enum class Mixing {
        // Whoever holds the device renders it.
        OnRender,
        // A thread of the device's own renders it as time passes and drops the sound.
        RealTime,
    };

    // A rate outside what OpenAL Soft can mix becomes 44100 Hz. Null when loopback is missing.
    [[nodiscard]] static std::unique_ptr<KPLoopbackDevice> open(int sampleRate = kDefaultRate,
                                                                Mixing mixing = Mixing::OnRender);
    // Takes over an opened loopback device (never null) that can mix at the rate. Limited, the
    // mix is held below full scale by OpenAL Soft's output limiter, which delays it by 1 ms.
    KPLoopbackDevice(ALCdevice* device, int sampleRate, Mixing mixing, bool limited = false);

    // The rate asked for by the last context made with one.
    int sampleRate() const { return m_sampleRate; }

    // A context asking for another rate changes the mix of every context on the device.
    [[nodiscard]] KPALContextPtr createContext(std::optional<int> sampleRate) override;

    // The next frames of the mix, interleaved left and right. Paused, or before any context
    // exists, rendering gives silence and the mix stands still.
    void render(float* out, int frames);
    // As render, for a thread that must never wait (an audio callback): false, and nothing
    // rendered, while a context is being made or destroyed.
    bool tryRender(float* out, int frames);
    std::vector<float> render(int frames);

private:
    void pauseMix() override { m_mixPaused = true; }
    void resumeMix() override { m_mixPaused = false; }
    void mixInRealTime(std::stop_token stop);
    // With m_mixLock held.
    void mix(float* out, int frames);

    std::atomic<int> m_sampleRate;
    const bool m_limited;
    std::atomic<bool> m_mixPaused = false;
    // OpenAL Soft allocates the mixer's buffers when it makes the first context on a loopback
    // device, and reallocates them with every new one: no rendering before or during that.
    std::mutex m_mixLock;
    int m_contexts = 0;
    // Last, so that it stops rendering before the rest goes.
    std::jthread m_mixer;
};
