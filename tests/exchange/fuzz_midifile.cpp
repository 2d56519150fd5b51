// Arbitrary bytes as a MIDI file to import: reading must either fail with a reason or give a
// recording whose events are keys of the keyboard, in time order. Anything else stops the run.

#include "exchange/KPRecordingMidi.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto imported = KPRecordingMidi::fromMidi(bytes, QStringLiteral("fuzz"), &error);
    if (!imported) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    float previous = 0.0f;
    for (const KPPianoKeyAction& action : imported->recording.actions) {
        if (action.index < 0 || action.index >= 84 || !std::isfinite(action.interval) ||
            action.interval < previous)
            std::abort();
        previous = action.interval;
    }
    return 0;
}
