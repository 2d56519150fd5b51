#pragma once

#include <cstdint>

// One change to the instrument's voices, placed on the output's sample clock: it takes effect
// inside the render, at `frame` (frames mixed since the output opened). A frame that has been
// mixed already (0 included) means the next frame rendered. Plain data, so that it crosses to
// the render thread without allocating.
struct KPNoteEvent
{
    enum class Kind : uint8_t {
        // Starts the note at `gain` on a voice of its own.
        NoteOn,
        // Stops every voice of the note at once.
        NoteOff,
        // Brings every voice of the note to `gain`, gliding over `glideFrames`.
        Gain,
        // Stops every voice.
        AllOff,
        // Brings every voice to silence over `glideFrames`, and stops it there.
        FadeOutAll,
        // Lets the note go: its release fade starts (KPNoteFades).
        Release,
        // As Release, unless a player on the main thread holds the note
        // (KPSampler::setHeldElsewhere):
        // a release read in the render's own cycle, which must not end another player's note.
        ReleaseUnheld,
    };

    Kind kind = Kind::NoteOn;
    int32_t note = 0;
    float gain = 0.0f;
    int32_t glideFrames = 0;
    int64_t frame = 0;
};
