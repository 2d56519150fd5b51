#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPAudioHandles.h"
#include "audio/KPSoundBank.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The sample synthesiser: plays MIDI notes 0 to 127 from the few recorded samples of a sound bank,
// each pitched from its root note, through a fixed pool of 32 OpenAL sources.
//
// The first setSoundBank opens the device; every switch remakes the sampler's context, bank and
// voices at the new bank's sample rate on that same device, which others (the system sounds) may
// share. Main thread only.
class KPSampler
{
public:
    static constexpr int kNoteCount = KPSoundBank::kNoteCount;
    static constexpr int kSourceCount = 32;

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

    explicit KPSampler(KPAudioDeviceOpener openDevice = KPAudioDevice::openDefault);
    ~KPSampler();
    KPSampler(const KPSampler&) = delete;
    KPSampler& operator=(const KPSampler&) = delete;

    // False when the bank's samples (or the voices) can't be made: the line in the log says why,
    // and the sampler stays without audio, every note silent, until another bank loads. Naming
    // the bank already named does nothing and answers as its load did.
    bool setSoundBank(const QString& name);
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

    // The gain of everything the sampler plays, 0 to 1: the listener's, kept across bank switches.
    void setVolume(float volume);
    float volume() const { return m_volume; }
    bool loopNotes() const { return m_loopNotes; }
    void setLoopNotes(bool loop) { m_loopNotes = loop; }

    int findAvailableSource();

    // The interruption listener's two halves.
    void audioSessionBeginInterruption();
    void audioSessionEndInterruption();

    // The note table and samples of the bank named last; they outlive a bank that can't be read.
    const KPSoundBank::Layout& layout() const { return m_layout; }
    // The bank the voices play; null while the sampler is not initialized.
    const KPSoundBank* bank() const { return m_bank ? &*m_bank : nullptr; }
    const SourceEntry& source(int index) const { return m_sources[size_t(index)]; }
    bool isInitialized() const { return m_initialized; }
    KPAudioDevice* device() const { return m_device.get(); }
    ALCcontext* context() const { return m_context.get(); }

    // Where the time of a voice's note comes from (tests give their own).
    void setClock(Clock clock) { m_clock = std::move(clock); }

private:
    bool setUpAudio();
    void tearDownAudio();
    void setUpOpenAL();
    void tearDownOpenAL();
    bool initSources();
    void freeSources();

    void setUpAudioSession();
    void tearDownAudioSession();
    void registerAudioSessionCategory();

    template <typename Action>
    bool forEachVoice(std::optional<int> note, const char* failure, Action action);

    KPAudioDeviceOpener m_openDevice;
    KPSoundBank::Layout m_layout;
    QString m_soundBankName;

    // In the order they are made: each goes before the one it lives on.
    std::shared_ptr<KPAudioDevice> m_device;
    KPALContextPtr m_context;
    std::optional<KPSoundBank> m_bank;
    std::array<SourceEntry, kSourceCount> m_sources;
    bool m_initialized = false;
    bool m_loopNotes = false;
    float m_volume = 1.0f;
    Clock m_clock = secondsSinceReferenceDate;
};
