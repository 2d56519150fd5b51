#include "audio/KPSampler.h"

#include "audio/KPAudioSession.h"
#include "audio/KPOpenALExtensions.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QDebug>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

namespace {

constexpr float kFieldHalfWidth = 50.0f;
constexpr float kReferenceDistance = 100.0f;
// How far the keyboard's ends sit from straight ahead, in degrees. At 90 they would be hard
// left and right, one ear or one speaker alone; at 10 the far channel carries them about 4 dB
// down, and middle C, a fifth of the way to the left end, stays within 1 dB of the centre.
constexpr float kArcDegrees = 10.0f;
// A glide changes the gain in steps this far apart; OpenAL Soft ramps across each step.
constexpr int64_t kGlideStepFrames = 32;
// Long enough to end a note without a click, short enough to go unnoticed at a switch.
constexpr double kSwitchFadeSeconds = 0.005;
// How long a switch waits for an output mixing on its own to play the fade out.
constexpr auto kSwitchFadeWait = std::chrono::milliseconds(200);
// What OpenAL Soft's own output needs to mix a gain change (two of its periods).
constexpr unsigned long kPlaybackFadeMilliseconds = 12;
// How often a glide steps on OpenAL Soft's own output: about its period.
constexpr std::chrono::milliseconds kPlaybackGlideStep(5);

// A glide cut short ends at its gain: the voice reads as it was heading.
void stopVoice(KPSampler::SourceEntry& voice)
{
    alSourceStop(voice.sourceId());
    if (voice.gain.moving)
        alSourcef(voice.sourceId(), AL_GAIN, voice.gain.to);
    voice.gain.moving = false;
}

void KPSamplerInterruptionListener(void* clientData, uint32_t interruptionState)
{
    auto* sampler = static_cast<KPSampler*>(clientData);
    if (interruptionState == KPAudioSession::kAudioSessionBeginInterruption)
        sampler->audioSessionBeginInterruption();
    else if (interruptionState == KPAudioSession::kAudioSessionEndInterruption)
        sampler->audioSessionEndInterruption();
}

} // namespace

double KPSampler::steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

KPSampler::KPSampler(KPAudioDeviceOpener openDevice, KPAudioSession* session)
    : m_openDevice(std::move(openDevice)), m_session(session)
{
    m_playbackGlides.setTimerType(Qt::PreciseTimer);
    m_playbackGlides.setInterval(kPlaybackGlideStep);
    QObject::connect(&m_playbackGlides, &QTimer::timeout, [this] { advancePlaybackGlides(); });
    setUpAudioSession();
}

KPSampler::~KPSampler()
{
    tearDownAudio();
    tearDownAudioSession();
}

bool KPSampler::setSoundBank(const QString& name)
{
    if (name == m_soundBankName)
        return m_initialized;
    m_soundBankName = name;
    fadeOutBeforeSwitch();
    tearDownAudio();
    m_layout.read(name);
    return setUpAudio();
}

// An interrupted application stays silent on the new device too.
bool KPSampler::changeDevice()
{
    const bool loaded = m_initialized;
    const bool paused = m_device && m_device->isPaused();
    tearDownAudio();
    m_device.reset();
    const bool ready = loaded && setUpAudio();
    if (paused && m_device)
        m_device->pause();
    return ready;
}

// A bank that can't be loaded leaves nothing half made behind.
bool KPSampler::setUpAudio()
{
    if (m_initialized)
        return true;
    setUpOpenAL();
    m_bank = KPSoundBank::load(m_layout);
    if (!m_bank || !initSources()) {
        freeSources();
        m_bank.reset();
        tearDownOpenAL();
        return false;
    }
    m_initialized = true;
    publishAllGains();
    m_mixer = dynamic_cast<KPLoopbackDevice*>(m_device.get());
    if (m_mixer) {
        m_fades.setInterval(std::lround(KPNoteFades::kStepSeconds * m_mixer->sampleRate()));
        endFade(std::nullopt, m_mixer->framesMixed());
        m_mixer->setRenderClient(this);
    }
    return true;
}

void KPSampler::tearDownAudio()
{
    if (!m_initialized)
        return;
    // From here on nothing renders through the sampler, and nothing waits to.
    if (m_mixer)
        m_mixer->setRenderClient(nullptr);
    m_mixer = nullptr;
    m_schedule.clear();
    freeSources();
    m_bank.reset();
    tearDownOpenAL();
    m_initialized = false;
}

// The device is opened once and kept: others may play on it, and a bank switch needs only a new
// context. The mixer rate is asked for before the context exists. A device or context that can't
// be made is not reported here: making the first buffer or voice fails then.
void KPSampler::setUpOpenAL()
{
    if (!m_device)
        m_device = m_openDevice();
    if (!m_device)
        return;
    SetMixerOutputRate(ALdouble(m_layout.sampleRate));
    m_context = m_device->createContext(m_layout.sampleRate);
    // Current for this thread only: an offline export on another thread plays through a sampler
    // of its own without taking the instrument's context away.
    if (m_context) {
        alcSetThreadContext(m_context.get());
        alListenerf(AL_GAIN, m_volume);
    }
}

void KPSampler::setVolume(float volume)
{
    m_volume = std::clamp(volume, 0.0f, 1.0f);
    if (m_context)
        alListenerf(AL_GAIN, m_volume);
}

void KPSampler::tearDownOpenAL()
{
    alcSetThreadContext(nullptr);
    m_context.reset();
}

bool KPSampler::initSources()
{
    for (SourceEntry& entry : m_sources) {
        alGetError();
        entry.source = KPALSource::generate();
        if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
            qWarning("Error generating OpenAL source: %x", error);
            return false;
        }
        entry.noteIndex = -1;
        entry.queued = false;
        entry.gain = {};
    }
    return true;
}

void KPSampler::freeSources()
{
    for (SourceEntry& entry : m_sources) {
        if (!entry.source)
            continue;
        alSourceStop(entry.sourceId());
        alSourcei(entry.sourceId(), AL_BUFFER, 0);
        entry.source.reset();
    }
}

int KPSampler::playingVoiceCount() const
{
    if (!m_initialized)
        return 0;
    int playing = 0;
    for (const SourceEntry& entry : m_sources) {
        ALint state = AL_INITIAL;
        alGetSourcei(entry.sourceId(), AL_SOURCE_STATE, &state);
        playing += state == AL_PLAYING;
    }
    return playing;
}

// A free voice is one that is neither playing nor queued; the lowest index wins.
// With none free, steal the voice given its note earliest (lowest index on a tie).
int KPSampler::findAvailableSource()
{
    alGetError();
    int oldest = 0;
    for (int i = 0; i < kSourceCount; ++i) {
        const SourceEntry& entry = m_sources[size_t(i)];
        ALint state = AL_INITIAL;
        alGetSourcei(entry.sourceId(), AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING && !entry.queued)
            return i;
        if (entry.time < m_sources[size_t(oldest)].time)
            oldest = i;
    }
    alSourceStop(m_sources[size_t(oldest)].sourceId());
    return oldest;
}

// A note struck while its bank is still decoding waits for its sample here, on the caller's
// thread, rather than on the render's.
void KPSampler::noteOn(int note, float gain, std::optional<int64_t> frame)
{
    if (m_bank) {
        if (const int sample = m_bank->sampleForNote(note, gain); sample >= 0)
            m_bank->waitForSample(sample);
    }
    post({KPNoteEvent::Kind::NoteOn, note, gain, 0, 0}, frame);
}

void KPSampler::queueNote(int note, float gain)
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return;
    }
    const int sample = m_bank->sampleForNote(note, gain);
    if (sample < 0)
        return;
    m_bank->waitForSample(sample);

    const int i = findAvailableSource();
    alGetError();
    SourceEntry& voice = m_sources[size_t(i)];
    const int previousNote = voice.noteIndex;
    voice.time = m_clock();
    voice.noteIndex = note;
    voice.queued = true;
    voice.gain = {gain, gain};

    const KPSoundBank::Layout& layout = m_bank->layout();
    const KPSoundBank::NoteEntry& entry = layout.notes[size_t(note)];
    const ALuint source = voice.sourceId();
    alSourcef(source, AL_PITCH, entry.pitch / layout.samples[size_t(sample)].pitch);
    alSourcei(source, AL_LOOPING,
              m_loopNotes || layout.samples[size_t(sample)].loops() ? AL_TRUE : AL_FALSE);
    alSourcef(source, AL_REFERENCE_DISTANCE, kReferenceDistance);
    alSourcef(source, AL_GAIN, gain);
    // The listener faces -z. On the x axis alone a source is heard from straight left or right
    // whatever its distance, so every note between would jump to one side; on an arc in front of
    // the listener the panning, as a share of the arc's half width, spreads the notes evenly
    // across the stereo field, and the arc's narrowness keeps every note in both channels.
    const float angle =
        entry.panning / kFieldHalfWidth * kArcDegrees * std::numbers::pi_v<float> / 180.0f;
    alSource3f(source, AL_POSITION, kFieldHalfWidth * std::sin(angle), 0.0f,
               -kFieldHalfWidth * std::cos(angle));
    alSourcei(source, AL_BUFFER, 0);
    alSourcei(source, AL_BUFFER, ALint(m_bank->bufferId(sample)));
    if (const ALenum error = alGetError(); error != AL_NO_ERROR)
        qWarning("Error attaching buffer to source: %x", error);
    publishGain(note);
    if (previousNote >= 0 && previousNote != note)
        publishGain(previousNote);
}

// Notes queued together (a chord) start at the same sample.
void KPSampler::playQueuedNotes()
{
    std::array<ALuint, kSourceCount> ids{};
    ALsizei count = 0;
    for (SourceEntry& entry : m_sources) {
        if (!entry.queued)
            continue;
        ids[size_t(count++)] = entry.sourceId();
        entry.queued = false;
    }
    alSourcePlayv(count, ids.data());
    if (const ALenum error = alGetError(); error != AL_NO_ERROR)
        qWarning("Error starting source: %x", error);
}

// The voices whose last note is `note` (every voice without one), in index order; a failing one
// is logged with its OpenAL error and the others go on. Before set-up nothing is done.
template <typename Action>
bool KPSampler::forEachVoice(std::optional<int> note, const char* failure, Action action)
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return false;
    }
    alGetError();
    for (SourceEntry& entry : m_sources) {
        if (note && entry.noteIndex != *note)
            continue;
        action(entry);
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            qWarning(failure, error);
    }
    return true;
}

void KPSampler::noteOff(int note, std::optional<int64_t> frame)
{
    post({KPNoteEvent::Kind::NoteOff, note, 0.0f, 0, 0}, frame);
}

void KPSampler::allNotesOff(std::optional<int64_t> frame)
{
    post({KPNoteEvent::Kind::AllOff, 0, 0.0f, 0, 0}, frame);
}

void KPSampler::release(int note, std::optional<int64_t> frame)
{
    if (note >= 0 && note < kNoteCount)
        post({KPNoteEvent::Kind::Release, note, 0.0f, 0, 0}, frame);
}

bool KPSampler::isFading(int note) const
{
    return note >= 0 && note < kNoteCount && m_noteFading[size_t(note)].load();
}

// The gain of the highest-numbered voice of the note (the one it is heading for, when it
// glides); 0 when no voice has it. Where the render thread owns the voices, as it last told.
float KPSampler::currentNoteGain(int note)
{
    if (m_initialized && m_mixer && m_mixer->mixesOnItsOwn())
        return note >= 0 && note < kNoteCount ? m_noteGains[size_t(note)].load() : 0.0f;
    float result = 0.0f;
    if (!forEachVoice(note, "Error getting source gain: %x", [&result](SourceEntry& voice) {
            if (voice.gain.moving)
                result = voice.gain.to;
            else
                alGetSourcef(voice.sourceId(), AL_GAIN, &result);
        }))
        return -1.0f;
    return result;
}

void KPSampler::changeNoteGain(int note, float gain, std::optional<int64_t> frame,
                               double glideSeconds)
{
    const int rate = m_mixer ? m_mixer->sampleRate() : m_layout.sampleRate;
    post({KPNoteEvent::Kind::Gain, note, gain, int32_t(std::lround(glideSeconds * rate)), 0},
         frame);
}

std::optional<int64_t> KPSampler::frameAt(KPClock::TimePoint at) const
{
    return m_mixer ? m_mixer->frameAt(at) : std::nullopt;
}

void KPSampler::post(KPNoteEvent event, std::optional<int64_t> frame)
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return;
    }
    if (!m_mixer || (!frame && !m_mixer->mixesOnItsOwn())) {
        apply(event, m_mixer ? m_mixer->framesMixed() : playbackFrame());
        return;
    }
    event.frame = frame.value_or(0);
    if (!m_schedule.post(event))
        qWarning("KPSampler: too many note events waiting, one was dropped");
}

void KPSampler::accept(const KPNoteEvent& event)
{
    m_schedule.accept(event, [this](const KPNoteEvent& late) {
        countPlacement(late, m_mixer->framesMixed());
        apply(late, m_mixer->framesMixed());
    });
}

KPSampler::Placement KPSampler::placement() const
{
    return {m_onFrame.load(std::memory_order_relaxed), m_late.load(std::memory_order_relaxed),
            m_mostLateFrames.load(std::memory_order_relaxed)};
}

// On the render thread, the only writer. Events for the next frame rendered carry none.
void KPSampler::countPlacement(const KPNoteEvent& event, int64_t frame)
{
    if (event.frame <= 0)
        return;
    if (frame <= event.frame) {
        m_onFrame.store(m_onFrame.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return;
    }
    m_late.store(m_late.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    m_mostLateFrames.store(
        std::max(m_mostLateFrames.load(std::memory_order_relaxed), frame - event.frame),
        std::memory_order_relaxed);
}

int64_t KPSampler::renderAt(int64_t frame, int64_t end)
{
    // The voices are this context's: current on the render thread while it changes them.
    ALCcontext* const previous = alcGetThreadContext();
    if (previous != m_context.get())
        alcSetThreadContext(m_context.get());
    const auto applyNow = [this, frame](const KPNoteEvent& event) {
        countPlacement(event, frame);
        apply(event, frame);
    };
    m_schedule.collect(applyNow);
    m_schedule.applyDue(frame, applyNow);
    m_fades.takeDue(frame, [this, frame](int note) { fadeStep(note, frame); });

    const int64_t next = advanceGlides(frame, m_fades.nextStep(m_schedule.nextFrame(end)));
    if (previous != m_context.get())
        alcSetThreadContext(previous);
    return next;
}

// Ends the glides that are due and aims the others at where their lines stand at the next frame
// something is due, no further than one glide step on; answers that frame.
int64_t KPSampler::advanceGlides(int64_t frame, int64_t next)
{
    for (SourceEntry& voice : m_sources) {
        if (!voice.gain.moving)
            continue;
        if (frame >= voice.gain.end) {
            voice.gain.moving = false;
            alSourcef(voice.sourceId(), AL_GAIN, voice.gain.to);
            if (voice.gain.stopAtEnd)
                alSourceStop(voice.sourceId());
            continue;
        }
        next = std::min({next, voice.gain.end, frame + kGlideStepFrames});
    }
    // OpenAL Soft moves a gain across the stretch of mix that follows, so each step aims at where
    // the line stands at the stretch's end.
    for (SourceEntry& voice : m_sources) {
        if (voice.gain.moving)
            alSourcef(voice.sourceId(), AL_GAIN, voice.gain.at(next));
    }
    return next;
}

int64_t KPSampler::playbackFrame() const
{
    return std::llround(steadySeconds() * m_layout.sampleRate);
}

// OpenAL Soft's own output mixes on a thread we don't see: its glides step on a timer instead,
// a few times per period of its mix.
void KPSampler::advancePlaybackGlides()
{
    const int64_t frame = playbackFrame();
    advanceGlides(frame, frame + m_layout.sampleRate * kPlaybackGlideStep.count() / 1000);
    if (std::none_of(m_sources.begin(), m_sources.end(),
                     [](const SourceEntry& voice) { return voice.gain.moving; }))
        m_playbackGlides.stop();
}

// A note struck or stopped fades no more, and its fade grid starts anew there.
void KPSampler::apply(const KPNoteEvent& event, int64_t frame)
{
    switch (event.kind) {
    case KPNoteEvent::Kind::NoteOn:
        endFade(event.note, frame);
        queueNote(event.note, event.gain);
        playQueuedNotes();
        break;
    case KPNoteEvent::Kind::NoteOff:
        endFade(event.note, frame);
        forEachVoice(event.note, "Error stopping source: %x", stopVoice);
        break;
    case KPNoteEvent::Kind::AllOff:
        endFade(std::nullopt, frame);
        forEachVoice(std::nullopt, "Error stopping source: %x", stopVoice);
        break;
    case KPNoteEvent::Kind::Release:
        m_fades.release(event.note, frame);
        publishFading(event.note);
        break;
    case KPNoteEvent::Kind::Gain:
        for (SourceEntry& voice : m_sources) {
            if (voice.noteIndex == event.note)
                glide(voice, event.gain, frame, event.glideFrames, false);
        }
        publishGain(event.note);
        break;
    case KPNoteEvent::Kind::FadeOutAll:
        endFade(std::nullopt, frame);
        for (SourceEntry& voice : m_sources)
            glide(voice, 0.0f, frame, event.glideFrames, true);
        break;
    }
}

// Without a glide the gain is set at once.
void KPSampler::glide(SourceEntry& voice, float to, int64_t frame, int32_t frames, bool stopAtEnd)
{
    voice.gain.begin(to, frame, frames, stopAtEnd);
    if (voice.gain.moving) {
        if (!m_mixer && !m_playbackGlides.isActive())
            m_playbackGlides.start();
        return;
    }
    alGetError();
    alSourcef(voice.sourceId(), AL_GAIN, to);
    if (const ALenum error = alGetError(); error != AL_NO_ERROR)
        qWarning("Error setting source gain: %x", error);
    if (stopAtEnd)
        alSourceStop(voice.sourceId());
}

// Each step glides to its gain until the next one comes, so that the sound never jumps; the
// last one stops the note, whose grid then starts anew.
void KPSampler::fadeStep(int note, int64_t frame)
{
    if (const std::optional<float> gain = KPNoteFades::stepDown(targetGain(note))) {
        for (SourceEntry& voice : m_sources) {
            if (voice.noteIndex == note)
                glide(voice, *gain, frame, int32_t(m_fades.interval()), false);
        }
        publishGain(note);
        return;
    }
    apply({KPNoteEvent::Kind::NoteOff, note, 0.0f, 0, 0}, frame);
}

float KPSampler::targetGain(int note) const
{
    float gain = 0.0f;
    for (const SourceEntry& entry : m_sources) {
        if (entry.noteIndex == note)
            gain = entry.gain.to;
    }
    return gain;
}

void KPSampler::publishGain(int note)
{
    if (note >= 0 && note < kNoteCount)
        m_noteGains[size_t(note)].store(targetGain(note));
}

// Every note's when none is named; other threads read it as the render last left it.
void KPSampler::endFade(std::optional<int> note, int64_t frame)
{
    if (!note) {
        m_fades.restartAll(frame);
        for (std::atomic<bool>& fading : m_noteFading)
            fading.store(false);
        return;
    }
    m_fades.restart(*note, frame);
    publishFading(*note);
}

void KPSampler::publishFading(int note)
{
    if (note >= 0 && note < kNoteCount)
        m_noteFading[size_t(note)].store(m_fades.isFading(note));
}

void KPSampler::publishAllGains()
{
    for (int note = 0; note < kNoteCount; ++note)
        publishGain(note);
}

// Ends what sounds over a few milliseconds, heard before the voices go. Where we mix the fade is
// rendered (by the output's own thread, or here, ahead of what the holder renders next);
// OpenAL Soft's own output ramps a gain change across its next period.
void KPSampler::fadeOutBeforeSwitch()
{
    if (!m_initialized || !m_device || m_device->isPaused())
        return;
    if (!m_mixer) {
        for (SourceEntry& voice : m_sources)
            alSourcef(voice.sourceId(), AL_GAIN, 0.0f);
        QThread::msleep(kPlaybackFadeMilliseconds);
        return;
    }
    const auto frames = int32_t(std::lround(kSwitchFadeSeconds * m_mixer->sampleRate()));
    const KPNoteEvent fade{KPNoteEvent::Kind::FadeOutAll, 0, 0.0f, frames, 0};
    if (!m_mixer->mixesOnItsOwn()) {
        apply(fade, m_mixer->framesMixed());
        m_mixer->renderAhead(frames + 1);
        return;
    }
    const int64_t heard = m_mixer->framesMixed() + frames + m_mixer->sampleRate() / 50;
    if (!m_schedule.post(fade))
        return;
    const auto deadline = std::chrono::steady_clock::now() + kSwitchFadeWait;
    while (m_mixer->framesMixed() < heard && std::chrono::steady_clock::now() < deadline)
        QThread::msleep(1);
}

void KPSampler::setUpAudioSession()
{
    if (!m_session)
        return;
    m_session->initialize(KPSamplerInterruptionListener, this);
    registerAudioSessionCategory();
    m_session->setActive(true);
}

void KPSampler::tearDownAudioSession()
{
    if (!m_session)
        return;
    m_session->setActive(false);
    m_session->removeInterruptionListener(this);
}

void KPSampler::registerAudioSessionCategory()
{
    if (m_session)
        m_session->setProperty(KPAudioSession::kAudioSessionProperty_AudioCategory,
                               KPAudioSession::kAudioSessionCategory_SoloAmbientSound);
}

// OpenAL Soft's alcSuspendContext only holds property changes back; the device's pause is what
// silences the mix (the system sounds' too: the application's audio is off).
void KPSampler::audioSessionBeginInterruption()
{
    if (m_session)
        m_session->setActive(false);
    alGetError();
    alcSetThreadContext(nullptr);
    if (m_context)
        alcSuspendContext(m_context.get());
    if (m_device)
        m_device->pause();
}

void KPSampler::audioSessionEndInterruption()
{
    registerAudioSessionCategory();
    if (m_session)
        m_session->setActive(true);
    alGetError();
    alcSetThreadContext(m_context.get());
    if (m_context)
        alcProcessContext(m_context.get());
    if (m_device)
        m_device->resume();
}
