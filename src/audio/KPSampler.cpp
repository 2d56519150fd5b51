#include "audio/KPSampler.h"

#include "audio/KPAudioSession.h"
#include "audio/KPOpenALExtensions.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr float kFieldHalfWidth = 50.0f;
constexpr float kReferenceDistance = 100.0f;
// 1 January 2001, 00:00 UTC, in seconds since 1 January 1970.
constexpr double kReferenceDateSince1970 = 978307200.0;

void KPSamplerInterruptionListener(void* clientData, uint32_t interruptionState)
{
    auto* sampler = static_cast<KPSampler*>(clientData);
    if (interruptionState == KPAudioSession::kAudioSessionBeginInterruption)
        sampler->audioSessionBeginInterruption();
    else if (interruptionState == KPAudioSession::kAudioSessionEndInterruption)
        sampler->audioSessionEndInterruption();
}

} // namespace

double KPSampler::secondsSinceReferenceDate()
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceEpoch).count() - kReferenceDateSince1970;
}

KPSampler::KPSampler(KPAudioDeviceOpener openDevice) : m_openDevice(std::move(openDevice))
{
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
    tearDownAudio();
    m_layout.read(name);
    return setUpAudio();
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
    return true;
}

void KPSampler::tearDownAudio()
{
    if (!m_initialized)
        return;
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

void KPSampler::noteOn(int note, float gain)
{
    queueNote(note, gain);
    playQueuedNotes();
}

void KPSampler::queueNote(int note, float gain)
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return;
    }
    const int sample = m_bank->sampleForNote(note);
    if (sample < 0)
        return;

    const int i = findAvailableSource();
    alGetError();
    SourceEntry& voice = m_sources[size_t(i)];
    voice.time = m_clock();
    voice.noteIndex = note;
    voice.queued = true;

    const KPSoundBank::Layout& layout = m_bank->layout();
    const KPSoundBank::NoteEntry& entry = layout.notes[size_t(note)];
    const ALuint source = voice.sourceId();
    alSourcef(source, AL_PITCH, entry.pitch / layout.samples[size_t(sample)].pitch);
    alSourcei(source, AL_LOOPING, m_loopNotes ? AL_TRUE : AL_FALSE);
    alSourcef(source, AL_REFERENCE_DISTANCE, kReferenceDistance);
    alSourcef(source, AL_GAIN, gain);
    // The listener faces -z. On the x axis alone a source is heard from straight left or right
    // whatever its distance, so every note between would jump to one side; on a half circle in
    // front of the listener the same x spreads the notes evenly across the stereo field.
    const float depth = -std::sqrt(
        std::max(0.0f, kFieldHalfWidth * kFieldHalfWidth - entry.panning * entry.panning));
    alSource3f(source, AL_POSITION, entry.panning, 0.0f, depth);
    alSourcei(source, AL_BUFFER, 0);
    alSourcei(source, AL_BUFFER, ALint(m_bank->bufferId(sample)));
    if (const ALenum error = alGetError(); error != AL_NO_ERROR)
        qWarning("Error attaching buffer to source: %x", error);
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
    for (const SourceEntry& entry : m_sources) {
        if (note && entry.noteIndex != *note)
            continue;
        action(entry.sourceId());
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            qWarning(failure, error);
    }
    return true;
}

void KPSampler::noteOff(int note)
{
    forEachVoice(note, "Error stopping source: %x", alSourceStop);
}

void KPSampler::allNotesOff()
{
    forEachVoice(std::nullopt, "Error stopping source: %x", alSourceStop);
}

// The gain of the highest-numbered voice of the note; 0 when no voice has it.
float KPSampler::currentNoteGain(int note)
{
    float result = 0.0f;
    if (!forEachVoice(note, "Error getting source gain: %x",
                      [&](ALuint source) { alGetSourcef(source, AL_GAIN, &result); }))
        return -1.0f;
    return result;
}

void KPSampler::changeNoteGain(int note, float gain)
{
    forEachVoice(note, "Error setting source gain: %x",
                 [gain](ALuint source) { alSourcef(source, AL_GAIN, gain); });
}

void KPSampler::setUpAudioSession()
{
    KPAudioSession& session = KPAudioSession::sharedSession();
    session.initialize(KPSamplerInterruptionListener, this);
    registerAudioSessionCategory();
    session.setActive(true);
}

void KPSampler::tearDownAudioSession()
{
    KPAudioSession& session = KPAudioSession::sharedSession();
    session.setActive(false);
    session.removeInterruptionListener(this);
}

void KPSampler::registerAudioSessionCategory()
{
    KPAudioSession::sharedSession().setProperty(
        KPAudioSession::kAudioSessionProperty_AudioCategory,
        KPAudioSession::kAudioSessionCategory_SoloAmbientSound);
}

// OpenAL Soft's alcSuspendContext only holds property changes back; the device's pause is what
// silences the mix (the system sounds' too: the application's audio is off).
void KPSampler::audioSessionBeginInterruption()
{
    KPAudioSession::sharedSession().setActive(false);
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
    KPAudioSession::sharedSession().setActive(true);
    alGetError();
    alcSetThreadContext(m_context.get());
    if (m_context)
        alcProcessContext(m_context.get());
    if (m_device)
        m_device->resume();
}
