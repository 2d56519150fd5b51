#include "audio/KPSampler.h"

#include "audio/KPAudioSession.h"
#include "audio/KPOpenALExtensions.h"
#include "audio/KPSoundBankFile.h"

#include "platform/KPBundle.h"

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float kFieldHalfWidth = 50.0f;
constexpr float kReferenceDistance = 100.0f;
// 1 January 2001, 00:00 UTC, in seconds since 1 January 1970.
constexpr double kReferenceDateSince1970 = 978307200.0;

bool isNote(int note)
{
    return note >= 0 && note < KPSampler::kNoteCount;
}

// Failures while making or filling the audio leave no usable instrument: the process ends.
[[noreturn]] void endProcess()
{
    std::exit(1);
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

double KPSampler::secondsSinceReferenceDate()
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceEpoch).count() - kReferenceDateSince1970;
}

KPSampler::KPSampler(std::unique_ptr<KPAudioOutput> output)
    : m_output(output ? std::move(output) : KPAudioOutput::makeDefault())
{
    initNotes();
    setUpAudioSession();
}

KPSampler::~KPSampler()
{
    tearDownAudio();
    tearDownAudioSession();
}

// Equal temperament from A4 = note 69 = 440 Hz. Notes below 48 sit at the far left, notes from 80
// at the far right, the ones between evenly spread.
void KPSampler::initNotes()
{
    for (int n = 0; n < kNoteCount; ++n) {
        NoteEntry& entry = m_notes[size_t(n)];
        entry.pitch = float(440.0 * std::pow(2.0, (n - 69) / 12.0));
        entry.bufferIndex = -1;
        if (n < 48)
            entry.panning = -kFieldHalfWidth;
        else if (n < 80)
            entry.panning = (float(n - 48) / 31.0f * 200.0f - 100.0f) * 0.5f;
        else
            entry.panning = kFieldHalfWidth;
    }
}

void KPSampler::setSoundBank(const QString& name)
{
    if (name == m_soundBankName)
        return;
    m_soundBankName = name;
    tearDownAudio();
    loadSoundBank(name);
    setUpAudio();
}

// Each sample serves the notes from one above the previous sample's highest note up to its own;
// the last one reaches note 127. Notes outside 0 to 127 are never written.
void KPSampler::loadSoundBank(const QString& name)
{
    const QString path = KPBundle::pathForResource(name, QStringLiteral("plist"));
    const std::optional<KPSoundBankFile> bank = KPSoundBankFile::read(path);
    if (!bank) {
        qWarning("Could not load soundbank '%s'", qUtf8Printable(path));
        return;
    }
    m_sampleRate = bank->sampleRate;
    m_numBuffers = int32_t(bank->samples.size());
    if (m_numBuffers < 1)
        return;

    qint64 next = 0;
    for (int j = 0; j < m_numBuffers; ++j) {
        const KPSoundBankFile::Sample& sample = bank->samples[size_t(j)];
        BufferEntry& entry = m_buffers[size_t(j)];
        entry.filename = sample.filename;
        entry.pitch = m_notes[size_t(sample.rootNote)].pitch;
        const qint64 high =
            j == m_numBuffers - 1 ? kNoteCount - 1 : std::min<qint64>(sample.highestNote, 127);
        for (qint64 n = std::max<qint64>(next, 0); n <= high; ++n)
            m_notes[size_t(n)].bufferIndex = j;
        next = high + 1;
    }
}

void KPSampler::initBuffers()
{
    for (int j = 0; j < m_numBuffers; ++j) {
        BufferEntry& entry = m_buffers[size_t(j)];
        alGetError();
        entry.buffer = KPALBuffer::generate();
        if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
            qWarning("Error generating OpenAL buffer: %x", error);
            endProcess();
        }

        const QString path = KPBundle::pathForResource(entry.filename, QStringLiteral("wav"));
        if (path.isEmpty()) {
            qWarning("Could not find file '%s'",
                     qUtf8Printable(entry.filename + QStringLiteral(".wav")));
            endProcess();
        }

        int64_t size = 0;
        ALenum format = AL_NONE;
        ALsizei frequency = 0;
        entry.data = LoadAudioFileData(path, size, format, frequency);
        if (!entry.data) {
            qWarning("Error loading sound");
            endProcess();
        }

        // Without the static-data extension OpenAL copies the samples; ours go at once, so only
        // one copy ever stays in memory.
        if (!BufferDataStatic(entry.bufferId(), format, entry.data.get(), ALsizei(size),
                              frequency)) {
            alBufferData(entry.bufferId(), format, entry.data.get(), ALsizei(size), frequency);
            entry.data.reset();
        }
        if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
            qWarning("Error attaching audio to buffer: %x", error);
            endProcess();
        }
    }
}

// The buffer goes before its memory: OpenAL may be reading the memory in place.
void KPSampler::freeBuffers()
{
    for (int j = 0; j < m_numBuffers; ++j) {
        BufferEntry& entry = m_buffers[size_t(j)];
        entry.buffer.reset();
        entry.data.reset();
    }
}

void KPSampler::setUpAudio()
{
    if (m_initialized)
        return;
    setUpOpenAL();
    initBuffers();
    initSources();
    m_initialized = true;
}

void KPSampler::tearDownAudio()
{
    if (!m_initialized)
        return;
    freeSources();
    freeBuffers();
    tearDownOpenAL();
    m_initialized = false;
}

// The mixer rate is asked for before the context exists. A device or context that can't be made
// is not reported here: making the first buffer fails then.
void KPSampler::setUpOpenAL()
{
    m_device = m_output->openDevice(m_sampleRate);
    if (!m_device)
        return;
    SetMixerOutputRate(ALdouble(m_sampleRate));
    m_context = m_device->createContext();
    if (m_context)
        alcMakeContextCurrent(m_context.get());
}

void KPSampler::tearDownOpenAL()
{
    alcMakeContextCurrent(nullptr);
    m_context.reset();
    m_device.reset();
}

void KPSampler::initSources()
{
    for (SourceEntry& entry : m_sources) {
        alGetError();
        entry.source = KPALSource::generate();
        if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
            qWarning("Error generating OpenAL source: %x", error);
            endProcess();
        }
        entry.noteIndex = -1;
        entry.queued = false;
    }
}

void KPSampler::freeSources()
{
    for (SourceEntry& entry : m_sources) {
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
    if (!isNote(note))
        return;
    const NoteEntry& entry = m_notes[size_t(note)];
    if (entry.bufferIndex == -1)
        return;

    const int i = findAvailableSource();
    alGetError();
    SourceEntry& voice = m_sources[size_t(i)];
    voice.time = m_clock();
    voice.noteIndex = note;
    voice.queued = true;

    const BufferEntry& sample = m_buffers[size_t(entry.bufferIndex)];
    const ALuint source = voice.sourceId();
    alSourcef(source, AL_PITCH, entry.pitch / sample.pitch);
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
    alSourcei(source, AL_BUFFER, ALint(sample.bufferId()));
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

void KPSampler::noteOff(int note)
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return;
    }
    alGetError();
    for (const SourceEntry& entry : m_sources) {
        if (entry.noteIndex != note)
            continue;
        alSourceStop(entry.sourceId());
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            qWarning("Error stopping source: %x", error);
    }
}

void KPSampler::allNotesOff()
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return;
    }
    alGetError();
    for (const SourceEntry& entry : m_sources) {
        alSourceStop(entry.sourceId());
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            qWarning("Error stopping source: %x", error);
    }
}

// The gain of the highest-numbered voice of the note; 0 when no voice has it.
float KPSampler::currentNoteGain(int note)
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return -1.0f;
    }
    alGetError();
    float result = 0.0f;
    for (const SourceEntry& entry : m_sources) {
        if (entry.noteIndex != note)
            continue;
        alGetSourcef(entry.sourceId(), AL_GAIN, &result);
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            qWarning("Error getting source gain: %x", error);
    }
    return result;
}

void KPSampler::changeNoteGain(int note, float gain)
{
    if (!m_initialized) {
        qWarning("KPSampler is not initialized yet");
        return;
    }
    alGetError();
    for (const SourceEntry& entry : m_sources) {
        if (entry.noteIndex != note)
            continue;
        alSourcef(entry.sourceId(), AL_GAIN, gain);
        if (const ALenum error = alGetError(); error != AL_NO_ERROR)
            qWarning("Error setting source gain: %x", error);
    }
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
// silences the mix.
void KPSampler::audioSessionBeginInterruption()
{
    KPAudioSession::sharedSession().setActive(false);
    alGetError();
    alcMakeContextCurrent(nullptr);
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
    alcMakeContextCurrent(m_context.get());
    if (m_context)
        alcProcessContext(m_context.get());
    if (m_device)
        m_device->resume();
}
