#include "recordings/KPRecordingSummary.h"

#include "keyboard/KPKeyboardLayout.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

// Times beyond this (only a damaged file has them) count as this, not as an overflowed number.
constexpr double kLongestLength = 1e12;
// Rows of the notes picture it has at least.
constexpr double kMinimumRows = 5;

double lastInterval(const KPPianoRecording& recording)
{
    double last = 0.0;
    for (const KPPianoKeyAction& action : recording.actions) {
        if (std::isfinite(action.interval))
            last = std::clamp(double(action.interval), last, kLongestLength);
    }
    return last;
}

} // namespace

// Minutes grow past 59: a long piece reads "75:03".
QString KPRecordingSummary::length(const KPPianoRecording& recording)
{
    const qint64 seconds = qint64(std::ceil(lastInterval(recording)));
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
    const double total = lastInterval(recording);
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
                          action.interval, float(total)});
        }
    }
    if (notes.isEmpty())
        return {};
    const auto [lowest, highest] =
        std::minmax_element(notes.cbegin(), notes.cend(),
                            [](const Note& a, const Note& b) { return a.pitch < b.pitch; });
    // Five rows at least, the notes in the middle ones: one note alone is a bar, not a block.
    const double played = double(highest->pitch - lowest->pitch + 1);
    const double rows = std::max(played, kMinimumRows);
    const double top = (rows - played) / 2;
    const double span = total > 0 ? total : 1.0;
    QList<QRectF> bars;
    bars.reserve(notes.size());
    for (const Note& note : std::as_const(notes))
        bars.append(QRectF(double(note.start) / span,
                           (top + double(highest->pitch - note.pitch)) / rows,
                           double(note.end - note.start) / span, 1.0 / rows));
    return bars;
}
