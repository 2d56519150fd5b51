#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPNoteEvent.h"

#include "platform/KPClock.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

// Whoever changes voices inside the render (the instrument's sampler, the system sounds' clicks).
// Called on the thread that renders, between stretches of the mix, never while the mix runs.
class KPRenderClient
{
public:
    virtual ~KPRenderClient() = default;
    // Takes an event of the cycle being rendered (a JACK process callback's MIDI), straight from
    // the render thread.
    virtual void accept(const KPNoteEvent& event) = 0;
    // Applies what is due at `frame` and answers the next frame before `end` at which something
    // is due again; `end` when nothing is.
    virtual int64_t renderAt(int64_t frame, int64_t end) = 0;
};

// OpenAL Soft's loopback device: the mix advances only when it is rendered, in stereo 32-bit
// float at the device's rate. Tests and offline rendering pull the samples themselves; mixed in
// real time on a thread of its own into nothing, it is the output of a machine without a sound
// card, where sources advance and end exactly as they would on a real device. Rendering may
// happen on another thread than the one that makes and destroys the contexts.
//
// The frames mixed so far are the output's sample clock. A render client placed on the device
// is asked before every stretch of the mix, so that a note event lands on its own frame.
// Each context on the device may place one client.
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
    [[nodiscard]] static std::unique_ptr<KPLoopbackDevice>
    open(int sampleRate = kDefaultRate, Mixing mixing = Mixing::OnRender, bool limited = false);
    // Takes over an opened loopback device (never null) that can mix at the rate. Limited, the
    // mix is kept below full scale as it is made, with no look-ahead: a master gain that leaves
    // an ordinary chord untouched by the curve, then a soft knee that bends only what would clip.
    KPLoopbackDevice(ALCdevice* device, int sampleRate, Mixing mixing, bool limited = false);

    // The rate asked for by the last context made with one.
    int sampleRate() const { return m_sampleRate; }

    // A context asking for another rate changes the mix of every context on the device.
    [[nodiscard]] KPALContextPtr createContext(std::optional<int> sampleRate) override;

    // The next frames of the mix, interleaved left and right. Paused, or before any context
    // exists, rendering gives silence and the mix stands still.
    void render(float* out, int frames);
    // As render, for a thread that must never wait (an audio callback): false, and nothing
    // rendered, while a context is being made or destroyed. The cycle's own events (their frames
    // counted from the first frame of this render) go to the render client first.
    bool tryRender(float* out, int frames, std::span<const KPNoteEvent> cycleEvents = {});
    std::vector<float> render(int frames);
    // Mixes `frames` now and hands them out first at the next render: what must be heard before
    // the voices are torn down (a bank switch's fade). Only where whoever holds the device renders.
    void renderAhead(int frames);

    // Frames mixed since the device opened.
    int64_t framesMixed() const { return m_framesMixed.load(std::memory_order_acquire); }
    bool mixesOnItsOwn() const { return m_mixesOnItsOwn; }
    // The frame at which something due at `at` on the program's clock is rendered; none until
    // the device has been tied to the clock (by its own real-time mixing, or anchor()).
    std::optional<int64_t> frameAt(KPClock::TimePoint at) const;
    // Ties the clock to the mix: the next frame rendered is due at `at`.
    void anchor(KPClock::TimePoint at);

    // Once removeRenderClient returns, the client is no longer called.
    void addRenderClient(KPRenderClient* client);
    void removeRenderClient(KPRenderClient* client);

protected:
    // Marks the device as rendered by a thread of its own (an audio server's callback), whose
    // events must be placed `leadFrames` ahead of the clock so that they are not already mixed.
    void setMixesOnItsOwn(int leadFrames);

private:
    void pauseMix() override { m_mixPaused = true; }
    void resumeMix() override { m_mixPaused = false; }
    void mixInRealTime(const std::stop_token& stop);
    // With m_mixLock held.
    void mix(float* out, int frames);
    void mixWithClient(float* out, int frames);
    void limit(float* out, int frames) const;

    std::atomic<int> m_sampleRate;
    const bool m_limited;
    std::atomic<bool> m_mixPaused = false;
    bool m_mixesOnItsOwn = false;
    int m_leadFrames = 0;
    // OpenAL Soft allocates the mixer's buffers when it makes the first context on a loopback
    // device, and reallocates them with every new one: no rendering before or during that.
    std::mutex m_mixLock;
    int m_contexts = 0;
    // The instrument's and the system sounds'.
    std::array<KPRenderClient*, 2> m_clients{};
    std::atomic<int64_t> m_framesMixed = 0;
    // One writer at a time (the render thread, or whoever renders); read from any thread.
    std::atomic<uint32_t> m_anchorVersion = 0;
    std::atomic<int64_t> m_anchorFrame = -1;
    std::atomic<KPClock::Duration::rep> m_anchorTime = 0;
    // Frames mixed ahead and not yet handed out.
    std::vector<float> m_ahead;
    size_t m_aheadStart = 0;
    size_t m_aheadEnd = 0;
    // Last, so that it stops rendering before the rest goes.
    std::jthread m_mixer;
};
