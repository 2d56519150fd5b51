#pragma once

#include <algorithm>
#include <cstdint>

// A voice's gain moving in a straight line to `to`, from `from` at frame `start` to frame `end`
// of the output's clock; once there (or when it never moved) it stays at `to`.
struct KPGainGlide
{
    float from = 1.0f;
    float to = 1.0f;
    int64_t start = 0;
    int64_t end = 0;
    bool moving = false;
    // The voice stops where the glide arrives (a fade out).
    bool stopAtEnd = false;

    float at(int64_t frame) const
    {
        if (!moving || frame >= end)
            return to;
        const float share = float(std::max<int64_t>(0, frame - start)) / float(end - start);
        return from + (to - from) * share;
    }

    // From wherever the gain stands at `frame`, to `target` over `frames` (at once when none).
    void begin(float target, int64_t frame, int32_t frames, bool stop)
    {
        from = at(frame);
        to = target;
        start = frame;
        end = frame + std::max(frames, 0);
        moving = frames > 0;
        stopAtEnd = stop;
    }
};
