#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The contents of a sound bank's property list: an array of the sample rate, then per sample its
// file name (without extension), the highest note it plays and its root note.
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
    };

    // Null when the file is missing, is not an array of at least the sample rate, or a sample
    // of it has a file name that is not a string, a note that is not a number, or a root note
    // outside 0 to 127. Elements after the last whole sample and samples after the 128th are
    // ignored.
    [[nodiscard]] static std::optional<KPSoundBankFile> read(const QString& path);

    int32_t sampleRate = 0;
    std::vector<Sample> samples;
};
