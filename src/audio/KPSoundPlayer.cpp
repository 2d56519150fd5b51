#include "audio/KPSoundPlayer.h"

#include <algorithm>
#include <chrono>

namespace {
constexpr std::chrono::milliseconds kFadeInterval(100);
constexpr double kFadeStep = 0.2;
constexpr float kSilentGain = 0.05f;
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

void KPSoundPlayer::struck(uint32_t note)
{
    if (note < kNoteCount)
        resetFadeTimer(note);
}

// Where we mix, the note is placed on its frame now and the fade's grid starts at `at`;
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
    clock().wakeAt(this, at, KPClock::Precision::Exact,
                   [this, note, at] { resetFadeTimer(note, at); });
}

// A release only starts the fade, whose steps find their frames by their own times.
void KPSoundPlayer::stop(uint32_t note, KPClock::TimePoint at)
{
    if (note >= kNoteCount)
        return;
    clock().wakeAt(this, at, KPClock::Precision::Exact,
                   [this, note, at] { startFadeTimer(note, at); });
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

// Lowers the gain by 0.2 per firing; at 0.05 or below the fade ends and the note stops. Each
// step glides to its gain until the next one comes, so that the sound never jumps. Where we mix,
// a step lands on the frame of its time on the grid, however late the run loop ran it.
void KPSoundPlayer::fadeSound(uint32_t index)
{
    const float gain = m_sampler.currentNoteGain(int(index));
    const std::optional<int64_t> frame = m_sampler.frameAt(m_fadeTimers[index]->firingDate());
    if (gain > kSilentGain)
        // A soft note (a low velocity) starts below one step: it fades to silence, never below.
        m_sampler.changeNoteGain(int(index), float(std::max(0.0, double(gain) - kFadeStep)), frame,
                                 std::chrono::duration<double>(kFadeInterval).count());
    else
        stopFadeTimer(index, frame);
}

void KPSoundPlayer::startFadeTimer(uint32_t note, std::optional<KPClock::TimePoint> at)
{
    if (m_fadeTimers[note])
        m_fadeTimers[note]->schedule(at);
}

// The fresh timer's grid starts now, normally at the key's press.
void KPSoundPlayer::stopFadeTimer(uint32_t note, std::optional<int64_t> frame)
{
    resetFadeTimer(note);
    m_sampler.noteOff(int(note), frame);
}

void KPSoundPlayer::resetFadeTimer(uint32_t note, std::optional<KPClock::TimePoint> at)
{
    if (m_fadeTimers[note])
        m_fadeTimers[note]->invalidate();
    m_fadeTimers[note] = makeFadeTimerForIndex(note);
    if (at)
        m_fadeTimers[note]->restartGrid(*at);
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
