#pragma once

#include "audio/KPAudioFileDecoder.h"
#include "audio/KPAudioHandles.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// A sound bank loaded into OpenAL buffers: which of its recorded samples plays each MIDI note,
// pitched from the sample's root note, and the samples themselves. Nothing in it changes once it
// is loaded: the sampler's voices only read it, and a switch loads another. Loaded and destroyed
// with the context of its buffers current.
class KPSoundBank
{
public:
    static constexpr int kNoteCount = 128;

    struct NoteEntry
    {
        float pitch = 0;
        int32_t bufferIndex = -1;
        // The x coordinate of the note's sources, -50 (left) to +50 (right).
        float panning = 0;
    };

    struct Sample
    {
        // Without extension.
        QString filename;
        // The frequency of the sample's root note.
        float pitch = 0;
    };

    // What a bank's property list says: its sample rate, its samples and the sample each note
    // plays. A list that can't be read leaves the layout as it was, so that the previous bank's
    // samples load again under the new name.
    struct Layout
    {
        // Every note at its pitch and place in the stereo field, none with a sample.
        Layout();
        // Reads the bank of that name from the resources; false, having logged why and changed
        // nothing, when it can't be read.
        bool read(const QString& name);

        int32_t sampleRate = 0;
        std::vector<Sample> samples;
        std::array<NoteEntry, kNoteCount> notes;
    };

    // Every sample of the layout decoded and in its buffer; nothing, after a line in the log,
    // when one can't be: a bank never plays half-loaded.
    [[nodiscard]] static std::optional<KPSoundBank> load(const Layout& layout);

    const Layout& layout() const { return m_layout; }
    int numBuffers() const { return int(m_buffers.size()); }
    ALuint bufferId(int index) const { return m_buffers[size_t(index)].buffer.id(); }
    // The index of the sample that plays the note (0 to 127); -1 when the bank has none for it.
    int sampleForNote(int note) const;

private:
    struct Buffer
    {
        // Our copy of the samples, kept only while OpenAL plays it in place. Declared first so
        // that the buffer goes before its memory.
        KPSampleData data;
        KPALBuffer buffer;
    };

    explicit KPSoundBank(const Layout& layout) : m_layout(layout) {}

    Layout m_layout;
    std::vector<Buffer> m_buffers;
};
