#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPSampler.h"

#include "platform/KPClock.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The process's sound service: the six instruments, the active one, and key presses and releases
// turned into notes. A press starts the note at full gain; a release fades it out, 0.2 of gain
// every 0.1 s on a grid from the press, each step's value glided into, and stops it. The sampler
// counts the fade in frames of the output, and every press and release lands on its frame.
// Main thread only.
class KPSoundPlayer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kNoteCount = KPSampler::kNoteCount;

    // The one player of the program, made (and "Grand Piano" loaded) at the first call.
    static KPSoundPlayer& sharedPlayer();

    // Loads "Grand Piano". Timed notes on an output not yet tied to the program's clock wait on
    // `clock` when given (offline rendering), else on the program's current clock. The sampler
    // joins `session` (none for an offline render).
    explicit KPSoundPlayer(KPAudioDeviceOpener openDevice = KPAudioDevice::openDefault,
                           KPClock* clock = nullptr,
                           KPAudioSession* session = &KPAudioSession::sharedSession());
    ~KPSoundPlayer() override;
    KPSoundPlayer(const KPSoundPlayer&) = delete;
    KPSoundPlayer& operator=(const KPSoundPlayer&) = delete;

    void useSoundBank(const QString& name);
    // The gain a note struck at a MIDI velocity (1 to 127) sounds at: the square of the velocity's
    // share of full, the General MIDI curve, so equal steps of velocity sound about equally louder.
    static float gainForVelocity(uint8_t velocity);

    // MIDI note numbers 0 to 127; others are ignored. Without a velocity the note sounds at full
    // gain, as a touch does.
    void play(uint32_t note);
    void play(uint32_t note, uint8_t velocity);
    void stop(uint32_t note);
    // Takes effect at `at` on the program's clock (KPClock), at the matching frame of the output;
    // on an output not tied to the clock yet, the player applies it then (at once when `at` has
    // passed).
    void play(uint32_t note, uint8_t velocity, KPClock::TimePoint at);
    void stop(uint32_t note, KPClock::TimePoint at);
    void saveSoundBank();
    void restoreSoundBank();

    // Each entry's first element is the instrument's name, which is also its sound bank's name.
    const QList<QStringList>& soundBanks() const { return m_soundBanks; }
    const std::optional<QString>& activeSoundBank() const { return m_activeSoundBank; }
    const std::optional<QString>& previousSoundBank() const { return m_previousSoundBank; }
    bool isFading(uint32_t note) const;
    KPSampler& sampler() { return m_sampler; }
    // The volume of everything played, 0 to 1.
    void setVolume(float volume);
    float volume() const { return m_volume; }
    // Off, the instrument is silent, whoever plays it, while everything else goes on: its notes
    // are still struck, shown, recorded and sent out (another instrument sounds them).
    void setLocalSound(bool on);
    bool localSound() const { return m_localSound; }

signals:
    // The instrument's samples could not be loaded: it stays silent. Told from the event loop,
    // so that whoever listens from the player's first use on hears of its first instrument too.
    void soundBankFailed(const QString& name);

private:
    KPClock& clock() const { return m_clock ? *m_clock : KPClock::current(); }

    KPSampler m_sampler;
    KPClock* m_clock;
    QList<QStringList> m_soundBanks;
    std::optional<QString> m_activeSoundBank;
    std::optional<QString> m_previousSoundBank;
    float m_volume = 1.0f;
    bool m_localSound = true;
};
