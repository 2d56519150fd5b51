#pragma once

#include "audio/KPAudioFileDecoder.h"
#include "audio/KPAudioHandles.h"

#include <QString>

#include <AL/alc.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
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
        // A held note plays to the loop's end, then from its start again; without a loop both
        // are 0. In frames.
        int64_t loopStart = 0;
        int64_t loopEnd = 0;

        bool loops() const { return loopEnd > loopStart; }
    };

    // The samples that play the notes struck up to a velocity.
    struct Layer
    {
        int highestVelocity = 127;
        // The index into the samples of each note's sample; -1 for none.
        std::array<int32_t, kNoteCount> sampleIndex{};
    };

    // What a bank's property list says: its sample rate, its samples (every layer's, one after
    // the other) and the sample each note plays in each layer; the notes' own bufferIndex is the
    // loudest layer's. A list that can't be read leaves the layout as it was, so that the previous
    // bank's samples load again under the new name.
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
        // In ascending order of velocity; at least one.
        std::vector<Layer> layers;
    };

    // The gain a note struck at a MIDI velocity (1 to 127) sounds at: the square of the velocity's
    // share of full, the General MIDI curve, so equal steps of velocity sound about equally louder.
    static float gainForVelocity(int velocity);
    // Where a sample's file is: its FLAC, else its WAV; where the WAV would be when neither is.
    static QString samplePath(const QString& filename);

    // A buffer for every sample of the layout, each file found and its format fit; nothing, after
    // a line in the log, when one isn't: a bank never plays half-made. The samples are decoded
    // into their buffers on a thread of the bank's own, in order, with the context current now;
    // one that fails to decode is logged and stays silent.
    [[nodiscard]] static std::optional<KPSoundBank> load(const Layout& layout);

    const Layout& layout() const { return m_layout; }
    int numBuffers() const { return int(m_decoding->buffers.size()); }
    ALuint bufferId(int index) const { return m_decoding->buffers[size_t(index)].buffer.id(); }
    // Returns once the sample is in its buffer (or has failed to decode).
    void waitForSample(int index) const;
    // The index of the sample that plays the note (0 to 127) struck at the velocity that sounds
    // at `gain` (gainForVelocity): from the softest layer that reaches that velocity. -1 when the
    // bank has none for it.
    int sampleForNote(int note, float gain = 1.0f) const;

private:
    struct Buffer
    {
        // Our copy of the samples, kept only while OpenAL plays it in place. Declared first so
        // that the buffer goes before its memory.
        KPSampleData data;
        KPALBuffer buffer;
    };

    // What the decoding thread shares with the bank.
    struct Decoding
    {
        std::vector<Sample> samples;
        std::vector<Buffer> buffers;
        // Opened by the loader, each closed once decoded.
        std::vector<KPOpenedAudioFile> files;
        std::mutex lock;
        std::condition_variable progress;
        // The samples before this one are decoded.
        int decoded = 0;
    };

    explicit KPSoundBank(const Layout& layout)
        : m_layout(layout), m_decoding(std::make_unique<Decoding>())
    {}
    static void decode(const std::stop_token& stop, Decoding& decoding, ALCcontext* context);

    Layout m_layout;
    std::unique_ptr<Decoding> m_decoding;
    // Last: stopped and joined before the buffers go.
    std::jthread m_decoder;
};
