#include "audio/KPSoundBank.h"

#include "audio/KPOpenALExtensions.h"
#include "audio/KPSoundBankFile.h"

#include "platform/KPBundle.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kFieldHalfWidth = 50.0f;

// Where a sample's file is, or would be when the resources lack it.
QString samplePath(const QString& filename)
{
    QString path = KPBundle::pathForResource(filename, QStringLiteral("wav"));
    if (!path.isEmpty())
        return path;
    return QDir(KPBundle::resourceRoot()).absoluteFilePath(filename + QStringLiteral(".wav"));
}

} // namespace

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
}

// Each sample serves the notes from one above the previous sample's highest note up to its own;
// the last one reaches note 127. Notes outside 0 to 127 are never written. A bank without
// samples keeps the notes' earlier mapping, which then finds no sample.
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
    const int count = int(bank->samples.size());
    qint64 next = 0;
    for (int j = 0; j < count; ++j) {
        const KPSoundBankFile::Sample& sample = bank->samples[size_t(j)];
        samples.push_back({sample.filename, notes[size_t(sample.rootNote)].pitch});
        const qint64 high =
            j == count - 1 ? kNoteCount - 1 : std::min<qint64>(sample.highestNote, kNoteCount - 1);
        for (qint64 n = std::max<qint64>(next, 0); n <= high; ++n)
            notes[size_t(n)].bufferIndex = j;
        next = high + 1;
    }
    return true;
}

std::optional<KPSoundBank> KPSoundBank::load(const Layout& layout)
{
    KPSoundBank bank(layout);
    bank.m_buffers.reserve(layout.samples.size());
    for (const Sample& sample : layout.samples) {
        Buffer& entry = bank.m_buffers.emplace_back();
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

        int64_t size = 0;
        ALenum format = AL_NONE;
        ALsizei frequency = 0;
        entry.data = LoadAudioFileData(path, size, format, frequency);
        if (!entry.data) {
            qWarning("Error loading sound");
            return std::nullopt;
        }

        // Without the static-data extension OpenAL copies the samples; ours go at once, so only
        // one copy ever stays in memory.
        if (!BufferDataStatic(entry.buffer.id(), format, entry.data.get(), ALsizei(size),
                              frequency)) {
            alBufferData(entry.buffer.id(), format, entry.data.get(), ALsizei(size), frequency);
            entry.data.reset();
        }
        if (const ALenum error = alGetError(); error != AL_NO_ERROR) {
            qWarning("Error attaching audio to buffer: %x", error);
            return std::nullopt;
        }
    }
    return bank;
}

int KPSoundBank::sampleForNote(int note) const
{
    if (note < 0 || note >= kNoteCount)
        return -1;
    const int32_t index = m_layout.notes[size_t(note)].bufferIndex;
    return index < numBuffers() ? index : -1;
}
