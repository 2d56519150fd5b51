#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPAudioHandles.h"
#include "audio/KPAudioSession.h"
#include "audio/KPGainGlide.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPNoteFades.h"
#include "audio/KPNoteSchedule.h"
#include "audio/KPSoundBank.h"

#include "platform/KPClock.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The sample synthesiser: plays MIDI notes 0 to 127 from the few recorded samples of a sound bank,
// each pitched from its root note, through a fixed pool of 32 OpenAL sources.
//
// The first setSoundBank opens the device; every switch remakes the sampler's context, bank and
// voices at the new bank's sample rate on that same device, which others (the system sounds) may
// share. A switch first fades whatever sounds out over a few milliseconds, so that it ends
// without a click.
//
// Every output is a loopback device that we mix (JACK, PipeWire, ALSA, the silent output, an
// offline render), and the thread that renders owns the voices: a note operation given a frame
// on the output's sample clock becomes an event that takes effect inside the render at that
// frame, and on a device that mixes on its own thread every operation does, at the next frame
// rendered; where whoever holds the device renders it, an operation without a frame takes effect
// at once. Gains given a glide move linearly, frame by frame. A released note's fade is the
// render's too, its steps counted in frames (KPNoteFades). Everything else: main thread only.
class KPSampler : public KPRenderClient
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
        // Seconds on the steady clock when the source was last given a note: its age, which no
        // step of the wall clock can reorder.
        double time = 0;
        // The gain the voice is at (gain.to), or on its way there.
        KPGainGlide gain;

        ALuint sourceId() const { return source.id(); }
    };

    // Seconds on a clock that never steps back.
    using Clock = std::function<double()>;
    static double steadySeconds();

    // The sampler joins `session` (hears its interruptions, keeps it active while it lives); an
    // offline render joins none, and leaves the application's session alone.
    explicit KPSampler(KPAudioDeviceOpener openDevice = KPAudioDevice::openDefault,
                       KPAudioSession* session = &KPAudioSession::sharedSession());
    ~KPSampler() override;
    KPSampler(const KPSampler&) = delete;
    KPSampler& operator=(const KPSampler&) = delete;

    // False when the bank's samples (or the voices) can't be made: the line in the log says why,
    // and the sampler stays without audio, every note silent, until another bank loads. Naming
    // the bank already named does nothing and answers as its load did.
    bool setSoundBank(const QString& name);
    // Lets go of the device and plays on the one the opener gives now (the sound moved to
    // another output): every voice stops, and the bank is loaded again there. Answers as
    // setSoundBank does.
    bool changeDevice();
    const QString& soundBankName() const { return m_soundBankName; }

    // `frame`: where on the output's sample clock the operation takes effect (see frameAt).
    void noteOn(int note, float gain, std::optional<int64_t> frame = std::nullopt);
    // Set up and started by whoever renders: on the thread that renders.
    void queueNote(int note, float gain);
    void playQueuedNotes();
    void noteOff(int note, std::optional<int64_t> frame = std::nullopt);
    void allNotesOff(std::optional<int64_t> frame = std::nullopt);
    // The note's release fade starts, 0.2 of gain down per step of its grid, each step's value
    // glided into and reached on its step, until it stops.
    void release(int note, std::optional<int64_t> frame = std::nullopt);
    // As the thread that owns the voices last told.
    bool isFading(int note) const;
    // Whether players that go through the main thread hold the note: a release read in the
    // render's own cycle (ReleaseUnheld) leaves it sounding then. Any thread.
    void setHeldElsewhere(int note, bool held);
    // The gain the note's voice is at or gliding to.
    float currentNoteGain(int note);
    // Voices whose source is playing now.
    int playingVoiceCount() const;
    void changeNoteGain(int note, float gain, std::optional<int64_t> frame = std::nullopt,
                        double glideSeconds = 0.0);

    // The frame of the output's sample clock at which something due at `at` is rendered; none
    // while the output is not tied to the program's clock.
    std::optional<int64_t> frameAt(KPClock::TimePoint at) const;

    // The render thread's side (KPRenderClient).
    void accept(const KPNoteEvent& event) override;
    int64_t renderAt(int64_t frame, int64_t end) override;

    // How the events given a frame met it, counted by the render since the sampler was made:
    // those that took effect on their frame, and those that reached the render after their frame
    // was mixed, with the most frames one of them came late.
    struct Placement
    {
        uint64_t onFrame = 0;
        uint64_t late = 0;
        int64_t mostLateFrames = 0;
    };
    Placement placement() const;

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

    // Takes effect at once, or is handed to the render.
    void post(KPNoteEvent event, std::optional<int64_t> frame);
    // On the thread that owns the voices, at `frame`.
    void apply(const KPNoteEvent& event, int64_t frame);
    void countPlacement(const KPNoteEvent& event, int64_t frame);
    void fadeStep(int note, int64_t frame);
    // Glides the note toward the value of its next fade step, reached on that step; false when
    // it is as good as silent already.
    bool glideToNextStep(int note, int64_t frame);
    // The gain the note's highest-numbered voice is at or gliding to; 0 when no voice has it.
    float targetGain(int note) const;
    void glide(SourceEntry& voice, float to, int64_t frame, int32_t frames, bool stopAtEnd);
    int64_t advanceGlides(int64_t frame, int64_t next);
    void fadeOutBeforeSwitch();
    // The note's gain for other threads to read.
    void publishGain(int note);
    void publishAllGains();
    // The note's fade (every note's, when none is named) ends, and its grid starts anew at
    // `frame`.
    void endFade(std::optional<int> note, int64_t frame);
    void publishFading(int note);

    KPAudioDeviceOpener m_openDevice;
    KPAudioSession* m_session;
    KPSoundBank::Layout m_layout;
    QString m_soundBankName;

    // In the order they are made: each goes before the one it lives on.
    std::shared_ptr<KPAudioDevice> m_device;
    KPALContextPtr m_context;
    std::optional<KPSoundBank> m_bank;
    std::array<SourceEntry, kSourceCount> m_sources;
    // The device, whose render applies the scheduled events; null while not initialized.
    KPLoopbackDevice* m_mixer = nullptr;
    KPNoteSchedule m_schedule;
    KPNoteFades m_fades;
    std::array<std::atomic<float>, kNoteCount> m_noteGains{};
    std::array<std::atomic<bool>, kNoteCount> m_noteFading{};
    std::array<std::atomic<bool>, kNoteCount> m_heldElsewhere{};
    std::atomic<uint64_t> m_onFrame = 0;
    std::atomic<uint64_t> m_late = 0;
    std::atomic<int64_t> m_mostLateFrames = 0;
    bool m_initialized = false;
    bool m_loopNotes = false;
    float m_volume = 1.0f;
    Clock m_clock = steadySeconds;
};
