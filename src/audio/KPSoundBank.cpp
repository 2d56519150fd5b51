#include "audio/KPSoundBank.h"

#include "audio/KPOpenALExtensions.h"
#include "audio/KPSoundBankFile.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include "platform/KPBundle.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kFieldHalfWidth = 50.0f;
constexpr int kFullVelocity = 127;

// A held note's loop, where OpenAL has loop points (else a looping voice repeats the whole
// sample). A loop beyond the sample's end is cut to it.
void setLoopPoints(ALuint buffer, const KPSoundBank::Sample& sample, int64_t frames)
{
    const int64_t end = std::min(sample.loopEnd, frames);
    if (!sample.loops() || sample.loopStart >= end || !alIsExtensionPresent("AL_SOFT_loop_points"))
        return;
    const std::array<ALint, 2> points{ALint(sample.loopStart), ALint(end)};
    alBufferiv(buffer, AL_LOOP_POINTS_SOFT, points.data());
    if (const ALenum error = alGetError(); error != AL_NO_ERROR)
        qWarning("Error setting loop points: %x", error);
}

} // namespace

QString KPSoundBank::samplePath(const QString& filename)
{
    for (const char* type : {"flac", "wav"}) {
        QString path = KPBundle::pathForResource(filename, QString::fromLatin1(type));
        if (!path.isEmpty())
            return path;
    }
    return QDir(KPBundle::resourceRoot()).absoluteFilePath(filename + QStringLiteral(".wav"));
}

float KPSoundBank::gainForVelocity(int velocity)
{
    const float share = float(std::clamp(velocity, 0, kFullVelocity)) / float(kFullVelocity);
    return share * share;
}

// Equal temperament from A4 = note 69 = 440 Hz. Notes below 48 sit at the far left, notes from 80
// at the far right, the ones between evenly spread.
KPSoundBank::Layout::Layout()
{
    for (int n = 0; n < kNoteCount; ++n) {
        NoteEntry& entry = notes[size_t(n)];
        entry.pitch = float(440.0 * std::pow(2.0, (n - 69) / 12.0));
        entry.bufferIndex = -1;
        if (n < 48)
            entry.panning = -kFieldHalfWidth;
        else if (n < 80)
            entry.panning = (float(n - 48) / 31.0f * 200.0f - 100.0f) * 0.5f;
        else
            entry.panning = kFieldHalfWidth;
    }
    layers.push_back({kFullVelocity, {}});
    layers.back().sampleIndex.fill(-1);
}

// In each layer, each sample serves the notes from one above the previous sample's highest note
// up to its own; the last one reaches note 127. Notes outside 0 to 127 are never written. A layer
// without samples keeps the notes' earlier mapping, which then finds no sample.
bool KPSoundBank::Layout::read(const QString& name)
{
    const QString path = KPBundle::pathForResource(name, QStringLiteral("plist"));
    const std::optional<KPSoundBankFile> bank = KPSoundBankFile::read(path);
    if (!bank) {
        qWarning("Could not load soundbank '%s'", qUtf8Printable(path));
        return false;
    }
    sampleRate = bank->sampleRate;
    samples.clear();
    std::array<int32_t, kNoteCount> earlier{};
    for (int n = 0; n < kNoteCount; ++n)
        earlier[size_t(n)] = notes[size_t(n)].bufferIndex;
    layers.clear();
    for (const KPSoundBankFile::Layer& fileLayer : bank->layers) {
        Layer& layer = layers.emplace_back(Layer{fileLayer.highestVelocity, earlier});
        const int count = int(fileLayer.samples.size());
        qint64 next = 0;
        for (int j = 0; j < count; ++j) {
            const KPSoundBankFile::Sample& sample = fileLayer.samples[size_t(j)];
            const int32_t index = int32_t(samples.size());
            samples.push_back({sample.filename, notes[size_t(sample.rootNote)].pitch,
                               sample.loopStart, sample.loopEnd});
            const qint64 high = j == count - 1
                                    ? kNoteCount - 1
                                    : std::min<qint64>(sample.highestNote, kNoteCount - 1);
            for (qint64 n = std::max<qint64>(next, 0); n <= high; ++n)
                layer.sampleIndex[size_t(n)] = index;
            next = high + 1;
        }
    }
    for (int n = 0; n < kNoteCount; ++n)
        notes[size_t(n)].bufferIndex = layers.back().sampleIndex[size_t(n)];
    return true;
}

std::optional<KPSoundBank> KPSoundBank::load(const Layout& layout)
{
    KPSoundBank bank(layout);
    Decoding& decoding = *bank.m_decoding;
    decoding.samples = layout.samples;
    decoding.buffers.reserve(layout.samples.size());
    decoding.files.reserve(layout.samples.size());
    for (const Sample& sample : layout.samples) {
        Buffer& entry = decoding.buffers.emplace_back();
        alGetError();
        entry.buffer = KPALBuffer::generate();
        if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
            qWarning("Error generating OpenAL buffer: %x", error);
            return std::nullopt;
        }

        const QString path = samplePath(sample.filename);
        if (!QFileInfo(path).isFile()) {
            qWarning("Could not find file '%s'", qUtf8Printable(path));
            return std::nullopt;
        }
        std::optional<KPOpenedAudioFile> file = OpenAudioFile(path);
        if (!file) {
            qWarning("Error loading sound");
            return std::nullopt;
        }
        decoding.files.push_back(std::move(*file));
    }
    bank.m_decoder = std::jthread(decode, std::ref(decoding), alcGetThreadContext());
    return bank;
}

// Without the static-data extension OpenAL copies the samples; ours go at once, so only one copy
// ever stays in memory.
void KPSoundBank::decode(const std::stop_token& stop, Decoding& decoding, ALCcontext* context)
{
    alcSetThreadContext(context);
    for (size_t j = 0; j < decoding.buffers.size() && !stop.stop_requested(); ++j) {
        Buffer& entry = decoding.buffers[j];
        int64_t size = 0;
        ALenum format = AL_NONE;
        ALsizei frequency = 0;
        entry.data = ReadAudioFileData(decoding.files[j], size, format, frequency);
        decoding.files[j].file.reset();
        if (!entry.data) {
            qWarning("Error loading sound");
        } else {
            alGetError();
            if (!BufferDataStatic(entry.buffer.id(), format, entry.data.get(), ALsizei(size),
                                  frequency)) {
                alBufferData(entry.buffer.id(), format, entry.data.get(), ALsizei(size), frequency);
                entry.data.reset();
            }
            if (const ALenum error = alGetError(); error != AL_NO_ERROR)
                qWarning("Error attaching audio to buffer: %x", error);
            setLoopPoints(entry.buffer.id(), decoding.samples[j],
                          size / (format == AL_FORMAT_STEREO16 ? 4 : 2));
        }
        const std::lock_guard locked(decoding.lock);
        decoding.decoded = int(j) + 1;
        decoding.progress.notify_all();
    }
    alcSetThreadContext(nullptr);
    const std::lock_guard locked(decoding.lock);
    decoding.decoded = int(decoding.buffers.size());
    decoding.progress.notify_all();
}

void KPSoundBank::waitForSample(int index) const
{
    std::unique_lock locked(m_decoding->lock);
    m_decoding->progress.wait(locked, [&] { return m_decoding->decoded > index; });
}

int KPSoundBank::sampleForNote(int note, float gain) const
{
    if (note < 0 || note >= kNoteCount)
        return -1;
    // The softest layer whose loudest velocity sounds at least as loud; half a velocity step
    // of leeway keeps a gain made from a velocity in that velocity's layer.
    const std::vector<Layer>& layers = m_layout.layers;
    const auto layer = std::find_if(layers.begin(), layers.end() - 1, [gain](const Layer& entry) {
        return gain <= gainForVelocity(entry.highestVelocity) +
                           (gainForVelocity(entry.highestVelocity + 1) -
                            gainForVelocity(entry.highestVelocity)) /
                               2.0f;
    });
    const int32_t index = layer->sampleIndex[size_t(note)];
    return index < numBuffers() ? index : -1;
}
