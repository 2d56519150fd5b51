#pragma once

#include <array>
#include <cstdint>
#include <optional>

// When the release fades of the notes step, counted in frames of the output's clock. Each note
// keeps a grid of steps one interval apart that starts at its last press (or where its last fade
// ended). Released a whole step or more after the grid began, a note takes its first step at
// once (after a glide of 5 ms, too short to hear as anything but at once and long enough not
// to click); released sooner, on the grid's first point; every later step on
// the next point after the one before. Each step's value is reached on its step: whoever steps
// the gain glides toward it from the step before (or from the release). Releasing a note that
// fades already changes nothing. Plain data: the thread that owns the voices keeps it.
class KPNoteFades
{
public:
    static constexpr int kNoteCount = 128;
    static constexpr double kStepSeconds = 0.1;

    // The gain one step takes a note at `gain` to, 0.2 lower and never below silence; none when
    // the note is as good as silent (0.05 or below) and the step stops it.
    static std::optional<float> stepDown(float gain);

    static constexpr double kAtOnceSeconds = 0.005;

    // The grid's interval and the glide of a step taken at once, at the output's rate.
    void setSampleRate(int rate);
    // No step glides for less (a grid point just after a step taken at once is reached that
    // much later).
    int64_t atOnceFrames() const { return m_atOnce; }

    // Notes outside 0 to 127 are ignored. The note's fade, if any, ends, and its grid starts
    // anew at `frame`.
    void restart(int note, int64_t frame);
    void restartAll(int64_t frame);
    void release(int note, int64_t frame);
    bool isFading(int note) const;
    // The frame of the note's next step; negative while it does not fade.
    int64_t stepAt(int note) const { return isNote(note) ? m_notes[size_t(note)].nextStep : -1; }

    // The frame of the first step due before `end`; `end` when there is none.
    int64_t nextStep(int64_t end) const;
    // Calls step(note) for every note with a step due at or before `frame`, lowest note first.
    // The note's next step is set before the call, so that the step may end the fade.
    template <typename Step> void takeDue(int64_t frame, Step&& step)
    {
        if (m_fading == 0)
            return;
        for (int note = 0; note < kNoteCount; ++note) {
            Note& fade = m_notes[size_t(note)];
            if (fade.nextStep < 0 || fade.nextStep > frame)
                continue;
            fade.nextStep = pointAfter(fade, fade.nextStep);
            step(note);
        }
    }

private:
    struct Note
    {
        int64_t gridStart = 0;
        // Negative while the note does not fade.
        int64_t nextStep = -1;
    };

    static bool isNote(int note) { return note >= 0 && note < kNoteCount; }
    int64_t pointAfter(const Note& fade, int64_t frame) const;

    std::array<Note, kNoteCount> m_notes{};
    int64_t m_interval = 1;
    int64_t m_atOnce = 0;
    int m_fading = 0;
};
