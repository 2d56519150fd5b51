#include "audio/KPLoopbackDevice.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {
constexpr int kMinimumRate = 8000;
constexpr int kMaximumRate = 192000;
// One period of the shipped configuration.
constexpr int kPeriodFrames = 256;
// The longest stretch mixed ahead (a bank switch's fade is far shorter).
constexpr size_t kAheadFrames = 4096;
// -6 dB: a chord of a few notes at full velocity stays below the knee.
constexpr float kMasterGain = 0.5f;
// Where the soft knee begins; below it the mix passes unchanged.
constexpr float kKnee = 0.75f;

int mixableRate(int sampleRate)
{
    return sampleRate < kMinimumRate || sampleRate > kMaximumRate ? KPLoopbackDevice::kDefaultRate
                                                                  : sampleRate;
}

// Straight below the knee; above it a curve that leaves the knee with the same slope and
// approaches full scale without reaching it, so nothing clips and nothing is delayed.
float softClip(float x)
{
    const float size = std::abs(x);
    if (size <= kKnee)
        return x;
    const float room = 1.0f - kKnee;
    const float bent = kKnee + room * std::tanh((size - kKnee) / room);
    return std::copysign(bent, x);
}

} // namespace

std::unique_ptr<KPLoopbackDevice> KPLoopbackDevice::open(int sampleRate, Mixing mixing,
                                                         bool limited)
{
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback"))
        return nullptr;
    sampleRate = mixableRate(sampleRate);
    std::unique_ptr<ALCdevice, KPALDeviceCloser> device(alcLoopbackOpenDeviceSOFT(nullptr));
    if (!device ||
        !alcIsRenderFormatSupportedSOFT(device.get(), sampleRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT))
        return nullptr;
    return std::make_unique<KPLoopbackDevice>(device.release(), sampleRate, mixing, limited);
}

KPLoopbackDevice::KPLoopbackDevice(ALCdevice* device, int sampleRate, Mixing mixing, bool limited)
    : KPAudioDevice(device), m_sampleRate(sampleRate), m_limited(limited),
      m_ahead(kAheadFrames * kChannels)
{
    if (mixing == Mixing::RealTime) {
        setMixesOnItsOwn(kPeriodFrames);
        m_mixer = std::jthread([this](const std::stop_token& stop) { mixInRealTime(stop); });
    }
}

void KPLoopbackDevice::setMixesOnItsOwn(int leadFrames)
{
    m_mixesOnItsOwn = true;
    m_leadFrames = leadFrames;
}

// OpenAL Soft's own output limiter is left off: it delays the whole mix by its look-ahead.
KPALContextPtr KPLoopbackDevice::createContext(std::optional<int> sampleRate)
{
    std::lock_guard lock(m_mixLock);
    const int rate = sampleRate ? mixableRate(*sampleRate) : m_sampleRate.load();
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,           ALC_FREQUENCY,   rate,
                                 ALC_OUTPUT_LIMITER_SOFT,  ALC_FALSE,       0};
    ALCcontext* context = alcCreateContext(get(), attributes);
    if (!context)
        return nullptr;
    m_sampleRate = rate;
    ++m_contexts;
    return KPALContextPtr(context, [this](ALCcontext* doomed) {
        std::lock_guard destroyLock(m_mixLock);
        KPDestroyALContext(doomed);
        --m_contexts;
    });
}

void KPLoopbackDevice::addRenderClient(KPRenderClient* client)
{
    std::lock_guard lock(m_mixLock);
    if (std::find(m_clients.begin(), m_clients.end(), client) != m_clients.end())
        return;
    if (const auto free = std::find(m_clients.begin(), m_clients.end(), nullptr);
        free != m_clients.end())
        *free = client;
}

void KPLoopbackDevice::removeRenderClient(KPRenderClient* client)
{
    std::lock_guard lock(m_mixLock);
    std::replace(m_clients.begin(), m_clients.end(), client, static_cast<KPRenderClient*>(nullptr));
}

void KPLoopbackDevice::render(float* out, int frames)
{
    std::lock_guard lock(m_mixLock);
    mix(out, frames);
}

bool KPLoopbackDevice::tryRender(float* out, int frames, std::span<const KPNoteEvent> cycleEvents)
{
    std::unique_lock lock(m_mixLock, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    const int64_t start = framesMixed();
    for (KPRenderClient* client : m_clients) {
        for (KPNoteEvent event : client ? cycleEvents : std::span<const KPNoteEvent>()) {
            event.frame += start;
            client->accept(event);
        }
    }
    mix(out, frames);
    return true;
}

void KPLoopbackDevice::renderAhead(int frames)
{
    std::lock_guard lock(m_mixLock);
    frames = std::min<int>(frames, int(kAheadFrames - m_aheadEnd / kChannels));
    if (frames <= 0)
        return;
    mixWithClient(m_ahead.data() + m_aheadEnd, frames);
    m_aheadEnd += size_t(frames) * kChannels;
}

void KPLoopbackDevice::mix(float* out, int frames)
{
    if (frames <= 0)
        return;
    if (m_aheadStart < m_aheadEnd) {
        const size_t taken = std::min(size_t(frames) * kChannels, m_aheadEnd - m_aheadStart);
        std::copy_n(m_ahead.data() + m_aheadStart, taken, out);
        m_aheadStart += taken;
        if (m_aheadStart == m_aheadEnd)
            m_aheadStart = m_aheadEnd = 0;
        out += taken;
        frames -= int(taken / kChannels);
        if (frames == 0)
            return;
    }
    mixWithClient(out, frames);
}

// The mix is made in stretches that end where the client has something due, so that an event
// takes effect at its own frame.
void KPLoopbackDevice::mixWithClient(float* out, int frames)
{
    if (m_mixPaused || m_contexts == 0) {
        std::fill_n(out, size_t(frames) * kChannels, 0.0f);
        return;
    }
    int64_t frame = framesMixed();
    const int64_t end = frame + frames;
    while (frame < end) {
        int64_t next = end;
        for (KPRenderClient* client : m_clients) {
            if (client)
                next = std::min(next, client->renderAt(frame, end));
        }
        next = std::clamp(next, frame + 1, end);
        const int stretch = int(next - frame);
        alcRenderSamplesSOFT(get(), out, stretch);
        if (m_limited)
            limit(out, stretch);
        out += size_t(stretch) * kChannels;
        frame = next;
        m_framesMixed.store(frame, std::memory_order_release);
    }
}

void KPLoopbackDevice::limit(float* out, int frames) const
{
    for (float& sample : std::span(out, size_t(frames) * kChannels))
        sample = softClip(sample * kMasterGain);
}

std::vector<float> KPLoopbackDevice::render(int frames)
{
    std::vector<float> out(size_t(std::max(frames, 0)) * kChannels);
    render(out.data(), frames);
    return out;
}

void KPLoopbackDevice::anchor(KPClock::TimePoint at)
{
    // A sequence lock: an odd version means a tie being written. Released and acquired fields
    // instead of fences (which ThreadSanitizer cannot follow): a reader that sees a new field
    // sees the odd version after it, and tries again.
    m_anchorVersion.fetch_add(1, std::memory_order_relaxed);
    m_anchorFrame.store(framesMixed(), std::memory_order_release);
    m_anchorTime.store(at.time_since_epoch().count(), std::memory_order_release);
    m_anchorVersion.fetch_add(1, std::memory_order_release);
}

std::optional<int64_t> KPLoopbackDevice::frameAt(KPClock::TimePoint at) const
{
    int64_t frame = -1;
    KPClock::Duration::rep time = 0;
    for (;;) {
        const uint32_t version = m_anchorVersion.load(std::memory_order_acquire);
        if (version % 2 == 0) {
            frame = m_anchorFrame.load(std::memory_order_acquire);
            time = m_anchorTime.load(std::memory_order_acquire);
            if (m_anchorVersion.load(std::memory_order_relaxed) == version)
                break;
        }
        std::this_thread::yield();
    }
    if (frame < 0)
        return std::nullopt;
    const double seconds =
        std::chrono::duration<double>(at - KPClock::TimePoint(KPClock::Duration(time))).count();
    return frame + m_leadFrames + std::llround(seconds * m_sampleRate);
}

void KPLoopbackDevice::mixInRealTime(const std::stop_token& stop)
{
    using Clock = std::chrono::steady_clock;
    std::vector<float> scratch(size_t(kPeriodFrames) * kChannels);
    auto due = Clock::now();
    while (!stop.stop_requested()) {
        anchor(Clock::now());
        render(scratch.data(), kPeriodFrames);
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(kPeriodFrames) / m_sampleRate));
        due += period;
        const auto now = Clock::now();
        // After a stall (a suspended process) the mix goes on from now instead of racing ahead.
        if (due < now - 4 * period)
            due = now;
        std::this_thread::sleep_until(due);
    }
}
