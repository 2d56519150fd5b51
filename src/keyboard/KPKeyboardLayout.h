#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The keyboard's arithmetic, apart from any widget: which note, label and sample a key index
// names, where each key lies in the strip, how far an octave move scrolls, and which key a
// point hits. Key indexes 0 to 48 are the white keys left to right (seven per octave), 49 to 83
// the black keys left to right (five per octave), over seven octaves from C1 to B7.
class KPKeyboardLayout
{
public:
    static constexpr uint32_t keyCount = 84;
    static constexpr uint32_t whiteKeyCount = 49;
    static constexpr uint32_t octaveCount = 7;
    static constexpr uint32_t lastOctave = octaveCount - 1;

    using KeyFrames = std::array<QRectF, keyCount>;

    static bool isWhiteKey(uint32_t key) { return key < whiteKeyCount; }

    // MIDI note 24 (C1) to 107 (B7); 0 for an index that names no key.
    static uint32_t midiIndexForKey(uint32_t key);
    // The key that plays a MIDI note; nothing for notes outside 24 to 107.
    static std::optional<uint32_t> keyForMidiNote(uint32_t note);
    // "C1" for key 0, "C3" for key 14: the letter and octave of a white key index.
    static QString labelForKey(uint32_t whiteKey);
    // The note name without octave that names the key's sample: "c" to "b", "c#" to "a#".
    static QString soundNameForKey(uint32_t key);
    // Horizontal adjustment in points of the black key at position 0 to 4 of an octave.
    static uint32_t alignmentValueForOctaveKey(uint32_t position);

    // Frames of all 84 keys in content coordinates, from the sizes of the key pictures.
    static KeyFrames keyFrames(QSizeF whiteKeySize, QSizeF blackKeySize);
    // Seven octaves of seven white keys.
    static float contentWidth(float whiteKeyWidth);
    // How far one octave scrolls, in whole points.
    static uint32_t octaveStep(float whiteKeyWidth);
    // The content offset that shows the right end of the strip at the view's right edge.
    static uint32_t maximumOffset(float whiteKeyWidth, float viewWidth);
    // The content offset that shows `octave` at the left edge. The last octave shows the right
    // end of the strip instead, so that no blank shows past the last key, and so does an octave
    // that would hide less than one white key at the right: the next move would be a sliver.
    static uint32_t octaveOffset(uint32_t octave, float whiteKeyWidth, float viewWidth);

    // The last key (highest index) whose frame holds the point, so black keys win over the
    // white keys beneath them; nothing when no frame holds it.
    static std::optional<uint32_t> keyAtPoint(std::span<const QRectF> frames, QPointF point);
    // Frames hold their left and top edges but not their right and bottom ones, so a point on
    // the line between two neighbours belongs to exactly one of them.
    static bool frameContains(const QRectF& frame, QPointF point);
};
