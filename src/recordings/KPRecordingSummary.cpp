#include "recordings/KPRecordingSummary.h"

#include "keyboard/KPKeyboardLayout.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

float lastInterval(const KPPianoRecording& recording)
{
    float last = 0;
    for (const KPPianoKeyAction& action : recording.actions)
        last = std::max(last, action.interval);
    return last;
}

} // namespace

QString KPRecordingSummary::length(const KPPianoRecording& recording)
{
    const int seconds = int(std::ceil(lastInterval(recording)));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString KPRecordingSummary::date(const KPPianoRecording& recording)
{
    return recording.recordingDate.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QList<QRectF> KPRecordingSummary::noteBars(const KPPianoRecording& recording)
{
    struct Note
    {
        uint32_t pitch;
        float start;
        float end;
    };
    const float total = lastInterval(recording);
    QList<Note> notes;
    QHash<int32_t, qsizetype> sounding;
    for (const KPPianoKeyAction& action : recording.actions) {
        if (action.index < 0 || uint32_t(action.index) >= KPKeyboardLayout::keyCount)
            continue;
        if (const auto held = sounding.constFind(action.index); held != sounding.constEnd()) {
            notes[*held].end = action.interval;
            sounding.erase(held);
        }
        if (!action.isRelease()) {
            sounding.insert(action.index, notes.size());
            notes.append({KPKeyboardLayout::midiIndexForKey(uint32_t(action.index)),
                          action.interval, total});
        }
    }
    if (notes.isEmpty())
        return {};
    const auto [lowest, highest] =
        std::minmax_element(notes.cbegin(), notes.cend(),
                            [](const Note& a, const Note& b) { return a.pitch < b.pitch; });
    const double rows = double(highest->pitch - lowest->pitch + 1);
    const double span = total > 0 ? double(total) : 1.0;
    QList<QRectF> bars;
    bars.reserve(notes.size());
    for (const Note& note : std::as_const(notes))
        bars.append(QRectF(double(note.start) / span, double(highest->pitch - note.pitch) / rows,
                           double(note.end - note.start) / span, 1.0 / rows));
    return bars;
}
