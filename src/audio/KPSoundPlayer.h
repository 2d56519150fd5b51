#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPSampler.h"

#include "platform/KPClock.h"
#include "platform/KPGridTimer.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// The process's sound service: the six instruments, the active one, and key presses and releases
// turned into notes. A press starts the note at full gain; a release fades it out, 0.2 of gain
// every 0.1 s on a grid from the press, each step gliding, and stops it. Where we mix, the
// sampler counts the fade in frames of the output, and every press and release lands on its
// frame; on OpenAL Soft's own output the note's timer steps it. Main thread only.
class KPSoundPlayer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kNoteCount = KPSampler::kNoteCount;

    // The one player of the program, made (and "Grand Piano" loaded) at the first call.
    static KPSoundPlayer& sharedPlayer();

    // Loads "Grand Piano". The fades keep time by `clock` when given (offline rendering), else by
    // the program's current clock. The sampler joins `session` (none for an offline render).
    explicit KPSoundPlayer(KPAudioDeviceOpener openDevice = KPAudioDevice::openDefault,
                           KPClock* clock = nullptr,
                           KPAudioSession* session = &KPAudioSession::sharedSession());
    ~KPSoundPlayer() override;
    KPSoundPlayer(const KPSoundPlayer&) = delete;
    KPSoundPlayer& operator=(const KPSoundPlayer&) = delete;

    void useSoundBank(const QString& name);
    // The gain a note struck at a MIDI velocity (1 to 127) sounds at (KPSoundBank's curve, by
    // which the bank picks the velocity layer).
    static float gainForVelocity(uint8_t velocity);

    // MIDI note numbers 0 to 127; others are ignored. Without a velocity the note sounds at full
    // gain, as a touch does.
    void play(uint32_t note);
    void play(uint32_t note, uint8_t velocity);
    void stop(uint32_t note);
    // Takes effect at `at` on the program's clock (KPClock): where we mix, at the matching frame;
    // elsewhere the player applies it then (at once when `at` has passed).
    void play(uint32_t note, uint8_t velocity, KPClock::TimePoint at);
    void stop(uint32_t note, KPClock::TimePoint at);
    void saveSoundBank();
    void restoreSoundBank();

    // Each entry's first element is the instrument's name, which is also its sound bank's name.
    const QList<QStringList>& soundBanks() const { return m_soundBanks; }
    const std::optional<QString>& activeSoundBank() const { return m_activeSoundBank; }
    const std::optional<QString>& previousSoundBank() const { return m_previousSoundBank; }
    // Where we don't mix: the note's timer, scheduled while the note fades.
    const KPGridTimer* fadeTimer(uint32_t note) const;
    bool isFading(uint32_t note) const;
    KPSampler& sampler() { return m_sampler; }
    // The volume of everything played, 0 to 1.
    void setVolume(float volume) { m_sampler.setVolume(volume); }
    float volume() const { return m_sampler.volume(); }

signals:
    // The instrument's samples could not be loaded: it stays silent. Told from the event loop,
    // so that whoever listens from the player's first use on hears of its first instrument too.
    void soundBankFailed(const QString& name);

private:
    struct TimerDisposer
    {
        // A timer may be replaced from inside its own firing.
        void operator()(KPGridTimer* timer) const;
    };
    using FadeTimer = std::unique_ptr<KPGridTimer, TimerDisposer>;

    KPClock& clock() const { return m_clock ? *m_clock : KPClock::current(); }
    void fadeSound(uint32_t index);
    void startFadeTimer(uint32_t note);
    void stopFadeTimer(uint32_t note);
    // A fresh timer, its grid starting now; the note keeps sounding.
    void resetFadeTimer(uint32_t note);
    void stopAllFadeTimers();
    [[nodiscard]] FadeTimer makeFadeTimerForIndex(uint32_t note);
    void initializeFadeTimers();

    KPSampler m_sampler;
    KPClock* m_clock;
    QList<QStringList> m_soundBanks;
    // Empty until the first instrument is chosen, then one timer per note.
    std::array<FadeTimer, kNoteCount> m_fadeTimers;
    bool m_hasFadeTimers = false;
    std::optional<QString> m_activeSoundBank;
    std::optional<QString> m_previousSoundBank;
};
