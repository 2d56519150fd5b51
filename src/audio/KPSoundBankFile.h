#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The contents of a sound bank's property list. Written the first way, an array: the sample rate,
// then per sample its file name (without extension), the highest note it plays and its root note;
// one layer, for every velocity. Written the second way, a dictionary: "SampleRate", and "Layers",
// in ascending order of velocity, each a dictionary of "HighestVelocity" and "Samples", each
// sample a dictionary of "File", "HighestNote", "RootNote" and, for a note held on a loop,
// "LoopStart" and "LoopEnd" (in frames).
class KPSoundBankFile
{
public:
    static constexpr int kMaximumSamples = 128;

    struct Sample
    {
        QString filename;
        // As written; the sampler clamps it into the note table.
        qint64 highestNote = 0;
        int rootNote = 0;
        // In frames; without a loop both are 0.
        qint64 loopStart = 0;
        qint64 loopEnd = 0;
    };

    struct Layer
    {
        // The loudest MIDI velocity the layer plays (1 to 127); the last layer plays the rest.
        int highestVelocity = 127;
        std::vector<Sample> samples;
    };

    // Null when the file is missing, is not an array of at least the sample rate nor a dictionary
    // with one and at least one layer, or a sample of it has a file name that is not a string, a
    // note that is not a number, a root note outside 0 to 127, or a loop that is not within
    // 0 <= start < end. Elements after the last whole sample of the array are ignored; a bank
    // holds at most 128 samples, those after the 128th are ignored.
    [[nodiscard]] static std::optional<KPSoundBankFile> read(const QString& path);

    int32_t sampleRate = 0;
    std::vector<Layer> layers;
};
