#include "audio/KPSoundPlayer.h"

#include <algorithm>

namespace {
constexpr uint8_t kFullVelocity = 127;
} // namespace

KPSoundPlayer& KPSoundPlayer::sharedPlayer()
{
    static KPSoundPlayer player;
    return player;
}

KPSoundPlayer::KPSoundPlayer(KPAudioDeviceOpener openDevice, KPClock* clock,
                             KPAudioSession* session)
    : m_sampler(std::move(openDevice), session), m_clock(clock)
{
    for (const char* name :
         {"Grand Piano", "Music Box", "Ahh Choir", "Electric Piano", "Accordion", "Banjo"})
        m_soundBanks.append(QStringList{QString::fromLatin1(name)});
    useSoundBank(QStringLiteral("Grand Piano"));
}

KPSoundPlayer::~KPSoundPlayer() = default;

void KPSoundPlayer::useSoundBank(const QString& name)
{
    if (m_activeSoundBank == name)
        return;
    if (!m_sampler.setSoundBank(name))
        QMetaObject::invokeMethod(
            this, [this, name] { emit soundBankFailed(name); }, Qt::QueuedConnection);
    m_activeSoundBank = name;
}

float KPSoundPlayer::gainForVelocity(uint8_t velocity)
{
    const float share = float(std::min(velocity, kFullVelocity)) / float(kFullVelocity);
    return share * share;
}

void KPSoundPlayer::play(uint32_t note)
{
    play(note, kFullVelocity);
}

// A press cuts off any earlier sounding or fading instance of the note before it sounds again.
void KPSoundPlayer::play(uint32_t note, uint8_t velocity)
{
    if (note >= kNoteCount)
        return;
    m_sampler.noteOff(int(note));
    m_sampler.noteOn(int(note), gainForVelocity(velocity));
}

void KPSoundPlayer::stop(uint32_t note)
{
    if (note < kNoteCount)
        m_sampler.release(int(note));
}

bool KPSoundPlayer::isFading(uint32_t note) const
{
    return note < kNoteCount && m_sampler.isFading(int(note));
}

// The note is placed on its frame now, and its fade's grid starts there; on an output not tied
// to the clock yet the whole press waits for its time.
void KPSoundPlayer::play(uint32_t note, uint8_t velocity, KPClock::TimePoint at)
{
    if (note >= kNoteCount)
        return;
    const std::optional<int64_t> frame = m_sampler.frameAt(at);
    if (!frame) {
        clock().wakeAt(this, at, KPClock::Precision::Exact,
                       [this, note, velocity] { play(note, velocity); });
        return;
    }
    m_sampler.noteOff(int(note), frame);
    m_sampler.noteOn(int(note), gainForVelocity(velocity), frame);
}

void KPSoundPlayer::stop(uint32_t note, KPClock::TimePoint at)
{
    if (note >= kNoteCount)
        return;
    if (const std::optional<int64_t> frame = m_sampler.frameAt(at)) {
        m_sampler.release(int(note), frame);
        return;
    }
    clock().wakeAt(this, at, KPClock::Precision::Exact, [this, note] { stop(note); });
}

void KPSoundPlayer::setVolume(float volume)
{
    m_volume = std::clamp(volume, 0.0f, 1.0f);
    m_sampler.setVolume(m_localSound ? m_volume : 0.0f);
}

void KPSoundPlayer::setLocalSound(bool on)
{
    m_localSound = on;
    setVolume(m_volume);
}

void KPSoundPlayer::saveSoundBank()
{
    m_previousSoundBank = m_activeSoundBank;
}

void KPSoundPlayer::restoreSoundBank()
{
    if (!m_previousSoundBank)
        return;
    useSoundBank(*m_previousSoundBank);
    m_previousSoundBank.reset();
}
