#pragma once

#include "recordings/KPPianoRecording.h"

#include <QRectF>
#include <QString>

// What a list shows of a recording besides its name: its length, its date and a picture of its
// notes.
class KPRecordingSummary
{
public:
    // "m:ss", up to the last event, a started second counting as one.
    static QString length(const KPPianoRecording& recording);
    // Local time, "yyyy-MM-dd HH:mm".
    static QString date(const KPPianoRecording& recording);
    // One bar per note, pitch against time, in a unit square: time runs left to right over the
    // recording's length, the highest note played at the top, the lowest at the bottom, each
    // note as high as a semitone of that range; a range of fewer than five semitones is drawn in
    // the middle of five. A note lasts from its press to the next release
    // of its key (the end when none comes).
    static QList<QRectF> noteBars(const KPPianoRecording& recording);
};
