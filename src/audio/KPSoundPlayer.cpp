#include "audio/KPSoundPlayer.h"

#include <algorithm>

namespace {
constexpr KPGridTimer::Seconds kFadeInterval(KPNoteFades::kStepSeconds);
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

KPSoundPlayer::~KPSoundPlayer()
{
    stopAllFadeTimers();
}

void KPSoundPlayer::TimerDisposer::operator()(KPGridTimer* timer) const
{
    timer->invalidate();
    timer->deleteLater();
}

const KPGridTimer* KPSoundPlayer::fadeTimer(uint32_t note) const
{
    return note < kNoteCount ? m_fadeTimers[note].get() : nullptr;
}

void KPSoundPlayer::useSoundBank(const QString& name)
{
    if (m_activeSoundBank == name)
        return;
    stopAllFadeTimers();
    initializeFadeTimers();
    if (!m_sampler.setSoundBank(name))
        QMetaObject::invokeMethod(
            this, [this, name] { emit soundBankFailed(name); }, Qt::QueuedConnection);
    m_activeSoundBank = name;
}

float KPSoundPlayer::gainForVelocity(uint8_t velocity)
{
    return KPSoundBank::gainForVelocity(velocity);
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
    const float gain = gainForVelocity(velocity);
    stopFadeTimer(note);
    m_sampler.changeNoteGain(int(note), gain);
    m_sampler.noteOn(int(note), gain);
}

void KPSoundPlayer::stop(uint32_t note)
{
    if (note >= kNoteCount)
        return;
    startFadeTimer(note);
}

bool KPSoundPlayer::isFading(uint32_t note) const
{
    return note < kNoteCount && (m_sampler.isFading(int(note)) ||
                                 (m_fadeTimers[note] && m_fadeTimers[note]->isScheduled()));
}

// Where we mix, the note is placed on its frame now, and its fade's grid starts there;
// elsewhere the whole press waits for its time.
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
    const float gain = gainForVelocity(velocity);
    m_sampler.noteOff(int(note), frame);
    m_sampler.changeNoteGain(int(note), gain, frame);
    m_sampler.noteOn(int(note), gain, frame);
}

void KPSoundPlayer::stop(uint32_t note, KPClock::TimePoint at)
{
    if (note >= kNoteCount)
        return;
    if (const std::optional<int64_t> frame = m_sampler.frameAt(at)) {
        m_sampler.release(int(note), frame);
        return;
    }
    clock().wakeAt(this, at, KPClock::Precision::Exact, [this, note] { startFadeTimer(note); });
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

// One step of the fade on OpenAL Soft's own output: the gain glides 0.2 lower over the step, and
// at 0.05 or below the fade ends and the note stops.
void KPSoundPlayer::fadeSound(uint32_t index)
{
    if (const std::optional<float> gain =
            KPNoteFades::stepDown(m_sampler.currentNoteGain(int(index))))
        m_sampler.changeNoteGain(int(index), *gain, std::nullopt, KPNoteFades::kStepSeconds);
    else
        stopFadeTimer(index);
}

// Where we mix the sampler fades the note itself, counted in frames from the release's.
void KPSoundPlayer::startFadeTimer(uint32_t note)
{
    if (m_sampler.fadesOnFrames())
        m_sampler.release(int(note));
    else if (m_fadeTimers[note])
        m_fadeTimers[note]->schedule();
}

// The fresh timer's grid starts now, normally at the key's press. A timer that ran when the
// sound moved to where we mix ends here too.
void KPSoundPlayer::stopFadeTimer(uint32_t note)
{
    resetFadeTimer(note);
    m_sampler.noteOff(int(note));
}

void KPSoundPlayer::resetFadeTimer(uint32_t note)
{
    if (m_fadeTimers[note])
        m_fadeTimers[note]->invalidate();
    m_fadeTimers[note] = makeFadeTimerForIndex(note);
}

void KPSoundPlayer::stopAllFadeTimers()
{
    if (!m_hasFadeTimers)
        return;
    for (FadeTimer& timer : m_fadeTimers) {
        if (timer)
            timer->invalidate();
    }
}

KPSoundPlayer::FadeTimer KPSoundPlayer::makeFadeTimerForIndex(uint32_t note)
{
    return FadeTimer(std::make_unique<KPGridTimer>(
                         kFadeInterval, [this, note] { fadeSound(note); }, nullptr, m_clock)
                         .release());
}

void KPSoundPlayer::initializeFadeTimers()
{
    for (uint32_t note = 0; note < kNoteCount; ++note)
        m_fadeTimers[note] = makeFadeTimerForIndex(note);
    m_hasFadeTimers = true;
}
