#pragma once

#include "recordings/KPPianoRecording.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A recording as a Standard MIDI File and back. Out: a type 0 file named after the recording,
// with the General MIDI program its instrument was made from. In: the notes the keyboard has
// (C1 to B7), on the instrument of the file's first program change when it is one of ours.
class KPRecordingMidi
{
public:
    struct Import
    {
        KPPianoRecording recording;
        int droppedNotes = 0; // notes outside C1 to B7
    };

    // The General MIDI program each instrument was rendered from, or nothing for another name.
    static std::optional<int> programForSoundBank(const QString& soundBankName);
    static std::optional<QString> soundBankForProgram(int program);

    [[nodiscard]] static QByteArray toMidi(const KPPianoRecording& recording);
    // The recording is named `name` and dated now; nothing with the reason in `error` when the
    // file cannot be read or holds no note the keyboard has.
    [[nodiscard]] static std::optional<Import> fromMidi(const QByteArray& data, const QString& name,
                                                        QString* error = nullptr);
};
