#include "keyboard/KPKeyboardLayout.h"

namespace {

constexpr uint32_t kWhiteKeysPerOctave = 7;
constexpr uint32_t kBlackKeysPerOctave = 5;
constexpr uint32_t kFirstMidiNote = 24;
// Semitones above the octave's C.
constexpr std::array<uint32_t, kWhiteKeysPerOctave> kWhiteSemitones = {0, 2, 4, 5, 7, 9, 11};
constexpr std::array<uint32_t, kBlackKeysPerOctave> kBlackSemitones = {1, 3, 6, 8, 10};

constexpr char kLabelLetters[] = "CDEFGAB";
constexpr char kWhiteSoundLetters[] = "cdefgab";
constexpr char kBlackSoundLetters[] = "cdfga";

// Float to whole points by cutting off the fraction; a negative value gives 0 instead of an
// undefined conversion.
uint32_t truncated(float value)
{
    return value > 0.0f ? uint32_t(value) : 0u;
}

} // namespace

uint32_t KPKeyboardLayout::midiIndexForKey(uint32_t key)
{
    if (key >= keyCount)
        return 0;
    if (isWhiteKey(key))
        return kFirstMidiNote + 12 * (key / kWhiteKeysPerOctave) +
               kWhiteSemitones[key % kWhiteKeysPerOctave];
    const uint32_t black = key - whiteKeyCount;
    return kFirstMidiNote + 12 * (black / kBlackKeysPerOctave) +
           kBlackSemitones[black % kBlackKeysPerOctave];
}

std::optional<uint32_t> KPKeyboardLayout::keyForMidiNote(uint32_t note)
{
    if (note < kFirstMidiNote || note >= kFirstMidiNote + 12 * octaveCount)
        return std::nullopt;
    const uint32_t octave = (note - kFirstMidiNote) / 12;
    const uint32_t semitone = (note - kFirstMidiNote) % 12;
    for (uint32_t i = 0; i < kWhiteKeysPerOctave; ++i) {
        if (kWhiteSemitones[i] == semitone)
            return kWhiteKeysPerOctave * octave + i;
    }
    for (uint32_t i = 0; i < kBlackKeysPerOctave; ++i) {
        if (kBlackSemitones[i] == semitone)
            return whiteKeyCount + kBlackKeysPerOctave * octave + i;
    }
    return std::nullopt;
}

QString KPKeyboardLayout::labelForKey(uint32_t whiteKey)
{
    return QString::asprintf("%c%d", kLabelLetters[whiteKey % kWhiteKeysPerOctave],
                             int(whiteKey / kWhiteKeysPerOctave + 1));
}

QString KPKeyboardLayout::soundNameForKey(uint32_t key)
{
    if (isWhiteKey(key))
        return QString::asprintf("%c", kWhiteSoundLetters[key % kWhiteKeysPerOctave]);
    return QString::asprintf("%c#",
                             kBlackSoundLetters[(key - whiteKeyCount) % kBlackKeysPerOctave]);
}

uint32_t KPKeyboardLayout::alignmentValueForOctaveKey(uint32_t /*position*/)
{
    return 0;
}

// White keys stand side by side at whole multiples of their width. The black keys of an octave
// start at about 1, 3, 6, 8 and 10 twelfths of the octave width: each step adds two twelfths
// and is cut to whole points, and the gap between D sharp and F sharp one twelfth more. All
// arithmetic is in 32-bit floats, so the cuts land where they always have.
KPKeyboardLayout::KeyFrames KPKeyboardLayout::keyFrames(QSizeF whiteKeySize, QSizeF blackKeySize)
{
    KeyFrames frames;
    const float whiteWidth = float(whiteKeySize.width());
    for (uint32_t i = 0; i < whiteKeyCount; ++i)
        frames[i] = QRectF(whiteWidth * float(i), 0.0, whiteKeySize.width(), whiteKeySize.height());

    const float octaveWidth = 7.0f * whiteWidth;
    const float twelfth = octaveWidth / 12.0f;
    uint32_t key = whiteKeyCount;
    for (uint32_t octave = 0; octave < octaveCount; ++octave) {
        uint32_t x = truncated(float(octave) * octaveWidth + twelfth);
        for (uint32_t position = 0; position < kBlackKeysPerOctave; ++position) {
            const float originX = float(x + alignmentValueForOctaveKey(position));
            frames[key++] = QRectF(originX, 0.0, blackKeySize.width(), blackKeySize.height());
            x = truncated(originX + 2.0f * twelfth);
            if (position == 1)
                x = truncated(float(x) + twelfth);
        }
    }
    return frames;
}

float KPKeyboardLayout::contentWidth(float whiteKeyWidth)
{
    const float octaveWidth = 7.0f * whiteKeyWidth;
    return 7.0f * octaveWidth;
}

uint32_t KPKeyboardLayout::octaveStep(float whiteKeyWidth)
{
    return truncated(7.0f * whiteKeyWidth);
}

uint32_t KPKeyboardLayout::maximumOffset(float whiteKeyWidth, float viewWidth)
{
    return truncated(contentWidth(whiteKeyWidth) - viewWidth);
}

uint32_t KPKeyboardLayout::octaveOffset(uint32_t octave, float whiteKeyWidth, float viewWidth)
{
    const uint32_t end = maximumOffset(whiteKeyWidth, viewWidth);
    const uint32_t offset = octave * octaveStep(whiteKeyWidth);
    if (octave >= lastOctave || offset + truncated(whiteKeyWidth) > end)
        return end;
    return offset;
}

std::optional<uint32_t> KPKeyboardLayout::keyAtPoint(std::span<const QRectF> frames, QPointF point)
{
    for (size_t i = frames.size(); i-- > 0;) {
        if (frameContains(frames[i], point))
            return uint32_t(i);
    }
    return std::nullopt;
}

bool KPKeyboardLayout::frameContains(const QRectF& frame, QPointF point)
{
    return point.x() >= frame.left() && point.x() < frame.right() && point.y() >= frame.top() &&
           point.y() < frame.bottom();
}
