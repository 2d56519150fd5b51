#include "audio/KPSystemSound.h"

#include "audio/KPAudioFileDecoder.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// How often finished sounds are looked for while any plays.
constexpr int kCompletionCheckMilliseconds = 20;

// Our context for this thread's OpenAL calls while it lives; the thread's earlier one after.
class ThreadContextScope
{
public:
    explicit ThreadContextScope(ALCcontext* context) : m_previous(alcGetThreadContext())
    {
        alcSetThreadContext(context);
    }
    ~ThreadContextScope() { alcSetThreadContext(m_previous); }
    ThreadContextScope(const ThreadContextScope&) = delete;
    ThreadContextScope& operator=(const ThreadContextScope&) = delete;

private:
    ALCcontext* m_previous;
};

} // namespace

KPSystemSound& KPSystemSound::shared()
{
    static KPSystemSound sound;
    return sound;
}

KPSystemSound::KPSystemSound(KPAudioDeviceOpener openDevice, QObject* parent)
    : QObject(parent), m_openDevice(std::move(openDevice))
{
    m_completionCheck.setInterval(kCompletionCheckMilliseconds);
    connect(&m_completionCheck, &QTimer::timeout, this, &KPSystemSound::disposeFinishedSounds);
}

KPSystemSound::~KPSystemSound()
{
    closeOutput();
}

void KPSystemSound::changeDevice()
{
    const bool looping = isLooping();
    closeOutput();
    m_outputFailed = false;
    if (looping)
        startLoop(m_loopPath, m_loopInterval);
}

void KPSystemSound::closeOutput()
{
    if (m_mixer)
        m_mixer->removeRenderClient(this);
    m_mixer = nullptr;
    m_loopEvents.clear();
    if (m_context) {
        ThreadContextScope scope(m_context.get());
        m_sounds.clear();
        m_retired.clear();
        m_loop.reset();
    }
    m_context.reset();
    m_device.reset();
}

bool KPSystemSound::openOutput()
{
    if (m_context)
        return true;
    if (m_outputFailed)
        return false;
    if (!alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context")) {
        qWarning("KPSystemSound: OpenAL has no thread-local contexts, sounds stay silent");
        m_outputFailed = true;
        return false;
    }
    m_device = m_openDevice();
    // At the rate the device mixes: the instrument chose it.
    if (m_device)
        m_context = m_device->createContext(std::nullopt);
    if (!m_context) {
        m_device.reset();
        m_outputFailed = true;
        return false;
    }
    m_mixer = dynamic_cast<KPLoopbackDevice*>(m_device.get());
    if (m_mixer)
        m_mixer->addRenderClient(this);
    return true;
}

void KPSystemSound::play(const QString& path)
{
    // A sound started while the device is paused would wait and then sound with all the others
    // that waited.
    if (path.isEmpty() || !openOutput() || m_device->isPaused())
        return;

    int64_t size = 0;
    ALenum format = AL_NONE;
    ALsizei frequency = 0;
    KPSampleData data = LoadAudioFileData(path, size, format, frequency);
    if (!data)
        return;

    ThreadContextScope scope(m_context.get());
    alGetError();
    Sound& sound = m_sounds.emplace_back();
    sound.buffer = KPALBuffer::generate();
    sound.source = KPALSource::generate();
    alBufferData(sound.buffer.id(), format, data.get(), ALsizei(size), frequency);
    data.reset();
    alSourcei(sound.source.id(), AL_BUFFER, ALint(sound.buffer.id()));
    alSourcePlay(sound.source.id());
    if (alGetError() != AL_NO_ERROR) {
        m_sounds.pop_back();
        return;
    }
    if (!m_completionCheck.isActive())
        m_completionCheck.start();
}

bool KPSystemSound::startLoop(const QString& path, double interval,
                              std::optional<KPClock::TimePoint> at)
{
    // The frame is told by the output: open it first.
    openOutput();
    const int64_t start = frameFor(at);
    return loopFrom(path, interval, start, start);
}

// The beats are counted from the loop's first frame, so that neither the program's clock nor
// the run loop's lateness moves them.
bool KPSystemSound::changeLoopInterval(double interval)
{
    if (!m_loop || !m_mixer)
        return startLoop(m_loopPath, interval);
    const double rate = m_mixer->sampleRate();
    const double period = m_loopPeriod * rate;
    const int64_t now = frameFor(std::nullopt);
    const double beats = std::max(-1.0, std::floor(double(now - m_loopStartFrame) / period));
    const double last = double(m_loopStartFrame) + beats * period;
    const int64_t start = std::max(now, int64_t(std::llround(last + interval * rate)));
    return loopFrom(m_loopPath, interval, start,
                    std::min(start, int64_t(std::llround(last + period))));
}

bool KPSystemSound::loopFrom(const QString& path, double interval, int64_t start,
                             int64_t stopBefore)
{
    if (m_loop)
        retireLoop(stopBefore);
    if (path.isEmpty() || interval <= 0 || !openOutput() || m_device->isPaused())
        return false;
    int64_t size = 0;
    ALenum format = AL_NONE;
    ALsizei frequency = 0;
    KPSampleData data = LoadAudioFileData(path, size, format, frequency);
    if (!data)
        return false;

    // One beat at the file's own rate: a whole number of frames, the same every time round.
    const int64_t frameBytes = format == AL_FORMAT_STEREO16 ? 4 : 2;
    const int64_t beatFrames = std::llround(interval * frequency);
    const int64_t beatBytes = beatFrames * frameBytes;
    std::vector<char> beat(size_t(beatBytes), 0);
    std::copy_n(reinterpret_cast<const char*>(data.get()), std::min(size, beatBytes), beat.begin());
    data.reset();

    ThreadContextScope scope(m_context.get());
    alGetError();
    auto loop = std::make_unique<Sound>();
    loop->buffer = KPALBuffer::generate();
    loop->source = KPALSource::generate();
    alBufferData(loop->buffer.id(), format, beat.data(), ALsizei(beat.size()), frequency);
    alSourcei(loop->source.id(), AL_BUFFER, ALint(loop->buffer.id()));
    alSourcei(loop->source.id(), AL_LOOPING, AL_TRUE);
    if (alGetError() != AL_NO_ERROR)
        return false;
    if (m_mixer) {
        m_loopEvents.post({KPNoteEvent::Kind::NoteOn, int32_t(loop->source.id()), 0.0f, 0, start});
    } else {
        alSourcePlay(loop->source.id());
    }
    m_loop = std::move(loop);
    m_loopStartFrame = start;
    m_loopPeriod = double(beatFrames) / frequency;
    m_loopPath = path;
    m_loopInterval = interval;
    return true;
}

void KPSystemSound::stopLoop()
{
    if (m_loop)
        retireLoop(frameFor(std::nullopt));
}

int64_t KPSystemSound::frameFor(std::optional<KPClock::TimePoint> at) const
{
    const std::optional<int64_t> frame = m_mixer && at ? m_mixer->frameAt(*at) : std::nullopt;
    return frame.value_or(m_mixer ? m_mixer->framesMixed() : 0);
}

// Never before the loop starts: an earlier stop would be taken first, and the start would then
// loop for good.
void KPSystemSound::retireLoop(int64_t frame)
{
    std::unique_ptr<Sound> sound = std::move(m_loop);
    if (!m_mixer) {
        ThreadContextScope scope(m_context.get());
        sound.reset();
        return;
    }
    const int64_t stop = std::max(frame, m_loopStartFrame);
    m_loopEvents.post({KPNoteEvent::Kind::NoteOff, int32_t(sound->source.id()), 0.0f, 0, stop});
    m_retired.push_back({std::move(sound), m_loopStartFrame, stop});
    if (!m_completionCheck.isActive())
        m_completionCheck.start();
}

// On the render thread: the loops' sources are played and stopped in this context.
int64_t KPSystemSound::renderAt(int64_t frame, int64_t end)
{
    ALCcontext* previous = nullptr;
    bool current = false;
    const auto apply = [&](const KPNoteEvent& event) {
        if (!std::exchange(current, true)) {
            previous = alcGetThreadContext();
            alcSetThreadContext(m_context.get());
        }
        if (event.kind == KPNoteEvent::Kind::NoteOn)
            alSourcePlay(ALuint(event.note));
        else
            alSourceStop(ALuint(event.note));
    };
    m_loopEvents.collect(apply);
    m_loopEvents.applyDue(frame, apply);
    if (current)
        alcSetThreadContext(previous);
    return m_loopEvents.nextFrame(end);
}

void KPSystemSound::disposeFinishedSounds()
{
    size_t finished = 0;
    if (m_context) {
        ThreadContextScope scope(m_context.get());
        finished = m_sounds.remove_if([](const Sound& sound) {
            ALint state = AL_STOPPED;
            alGetSourcei(sound.source.id(), AL_SOURCE_STATE, &state);
            return state != AL_PLAYING;
        });
        const int64_t mixed = m_mixer ? m_mixer->framesMixed() : 0;
        m_retired.remove_if([mixed](const Loop& loop) { return loop.stopFrame < mixed; });
    }
    if (m_sounds.empty() && m_retired.empty())
        m_completionCheck.stop();
    // Outside our context: whoever listens may use the instrument's.
    for (size_t i = 0; i < finished; ++i)
        emit soundFinished();
}
