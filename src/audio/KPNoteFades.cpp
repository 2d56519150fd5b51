#include "audio/KPNoteFades.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kStepGain = 0.2;
constexpr float kSilentGain = 0.05f;
} // namespace

std::optional<float> KPNoteFades::stepDown(float gain)
{
    if (gain <= kSilentGain)
        return std::nullopt;
    // A soft note (a low velocity) starts below one step: it fades to silence, never below.
    return float(std::max(0.0, double(gain) - kStepGain));
}

void KPNoteFades::setSampleRate(int rate)
{
    m_interval = std::max<int64_t>(1, std::lround(kStepSeconds * rate));
    m_atOnce = std::lround(kAtOnceSeconds * rate);
}

void KPNoteFades::restart(int note, int64_t frame)
{
    if (!isNote(note))
        return;
    Note& fade = m_notes[size_t(note)];
    m_fading -= fade.nextStep >= 0;
    fade = {frame, -1};
}

void KPNoteFades::restartAll(int64_t frame)
{
    m_notes.fill({frame, -1});
    m_fading = 0;
}

void KPNoteFades::release(int note, int64_t frame)
{
    if (!isNote(note) || isFading(note))
        return;
    Note& fade = m_notes[size_t(note)];
    fade.nextStep = std::max(fade.gridStart + m_interval, frame + m_atOnce);
    ++m_fading;
}

bool KPNoteFades::isFading(int note) const
{
    return isNote(note) && m_notes[size_t(note)].nextStep >= 0;
}

int64_t KPNoteFades::nextStep(int64_t end) const
{
    if (m_fading == 0)
        return end;
    for (const Note& fade : m_notes) {
        if (fade.nextStep >= 0)
            end = std::min(end, fade.nextStep);
    }
    return end;
}

int64_t KPNoteFades::pointAfter(const Note& fade, int64_t frame) const
{
    const int64_t since = std::max<int64_t>(0, frame - fade.gridStart);
    return fade.gridStart + (since / m_interval + 1) * m_interval;
}
