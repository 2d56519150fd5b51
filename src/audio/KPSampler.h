#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPAudioFileDecoder.h"
#include "audio/KPAudioHandles.h"
#include "audio/KPAudioOutput.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

// The sample synthesiser: plays MIDI notes 0 to 127 from the few recorded samples of a sound bank,
// each pitched from its root note, through a fixed pool of 32 OpenAL sources.
//
// The first setSoundBank opens the audio; every later switch tears it all down and sets it up
// again at the new bank's sample rate. Main thread only.
class KPSampler
{
public:
    static constexpr int kNoteCount = 128;
    static constexpr int kMaximumBuffers = 128;
    static constexpr int kSourceCount = 32;

    struct NoteEntry
    {
        float pitch = 0;
        int32_t bufferIndex = -1;
        // The x coordinate of the note's sources, -50 (left) to +50 (right).
        float panning = 0;
    };

    struct BufferEntry
    {
        // The frequency of the sample's root note.
        float pitch = 0;
        QString filename;
        KPALBuffer buffer;
        // Our copy of the samples, kept only while OpenAL plays it in place.
        KPSampleData data;

        ALuint bufferId() const { return buffer.id(); }
    };

    struct SourceEntry
    {
        KPALSource source;
        // The note the source was last given; kept after it stops.
        int32_t noteIndex = -1;
        bool queued = false;
        // Seconds since 1 January 2001 when the source was last given a note.
        double time = 0;

        ALuint sourceId() const { return source.id(); }
    };

    // Seconds since 1 January 2001, 00:00 UTC.
    using Clock = std::function<double()>;
    static double secondsSinceReferenceDate();

    // Without an output the program's default one is used.
    explicit KPSampler(std::unique_ptr<KPAudioOutput> output = nullptr);
    ~KPSampler();
    KPSampler(const KPSampler&) = delete;
    KPSampler& operator=(const KPSampler&) = delete;

    void setSoundBank(const QString& name);
    const QString& soundBankName() const { return m_soundBankName; }

    void noteOn(int note, float gain);
    void queueNote(int note, float gain);
    void playQueuedNotes();
    void noteOff(int note);
    void allNotesOff();
    float currentNoteGain(int note);
    // Voices whose source is playing now.
    int playingVoiceCount() const;
    void changeNoteGain(int note, float gain);

    bool loopNotes() const { return m_loopNotes; }
    void setLoopNotes(bool loop) { m_loopNotes = loop; }

    int findAvailableSource();

    // The interruption listener's two halves.
    void audioSessionBeginInterruption();
    void audioSessionEndInterruption();

    const NoteEntry& note(int note) const { return m_notes[size_t(note)]; }
    const BufferEntry& buffer(int index) const { return m_buffers[size_t(index)]; }
    const SourceEntry& source(int index) const { return m_sources[size_t(index)]; }
    int numBuffers() const { return m_numBuffers; }
    int sampleRate() const { return m_sampleRate; }
    bool isInitialized() const { return m_initialized; }
    KPAudioDevice* device() const { return m_device.get(); }
    ALCcontext* context() const { return m_context.get(); }

    // Where the time of a voice's note comes from (tests give their own).
    void setClock(Clock clock) { m_clock = std::move(clock); }

private:
    void initNotes();
    void loadSoundBank(const QString& name);
    void initBuffers();
    void freeBuffers();

    void setUpAudio();
    void tearDownAudio();
    void setUpOpenAL();
    void tearDownOpenAL();
    void initSources();
    void freeSources();

    void setUpAudioSession();
    void tearDownAudioSession();
    void registerAudioSessionCategory();

    // Declared first: the devices it opens must close before it goes.
    std::unique_ptr<KPAudioOutput> m_output;

    std::array<NoteEntry, kNoteCount> m_notes;
    std::array<BufferEntry, kMaximumBuffers> m_buffers;
    int32_t m_numBuffers = 0;
    int32_t m_sampleRate = 0;
    QString m_soundBankName;

    std::unique_ptr<KPAudioDevice> m_device;
    KPALContextPtr m_context;
    std::array<SourceEntry, kSourceCount> m_sources;
    bool m_initialized = false;
    bool m_loopNotes = false;
    Clock m_clock = secondsSinceReferenceDate;
};
