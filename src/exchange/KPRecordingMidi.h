#pragma once

#include "recordings/KPPianoRecording.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A recording as a Standard MIDI File and back. Out: a type 0 file named after the recording,
// with the General MIDI program its instrument was made from, each press at its velocity and a
// note-off only for a note that sounds. In: the notes the keyboard has (C1 to B7) at their
// velocities, held while the sustain pedal is down, on the instrument of the file's first
// program change when it is one of ours; the percussion channel (10) is left out. An import
// keeps at most kMaxNotes notes and kLongestSeconds of music.
class KPRecordingMidi
{
public:
    static constexpr int kMaxNotes = 200000;

    struct Import
    {
        KPPianoRecording recording;
        int droppedNotes = 0; // notes outside C1 to B7
        int drumNotes = 0;    // notes on the percussion channel
        bool cutAtNotes = false;
        bool cutAtLength = false;

        enum class Words { English, Localized };
        // What was left out, in words ("left out 2 notes outside C1 to B7"), or nothing: in
        // English (for the command line), or in the user's language (for the window).
        QString leftOut(Words words = Words::English) const;
    };

    // The General MIDI program each instrument was rendered from, or nothing for another name.
    static std::optional<int> programForSoundBank(const QString& soundBankName);
    static std::optional<QString> soundBankForProgram(int program);

    // Larger than any piece a pianist plays; a larger file is refused before it is read.
    static constexpr qint64 kMaxFileBytes = qint64(16) << 20;

    [[nodiscard]] static QByteArray toMidi(const KPPianoRecording& recording);
    // The MIDI file at `path` (a regular file, at most kMaxFileBytes) as a recording named after
    // the file and dated `date`.
    [[nodiscard]] static std::optional<Import> readFile(const QString& path, const QDateTime& date,
                                                        QString* error = nullptr);
    // The recording is named `name` and dated now; nothing with the reason in `error` when the
    // file cannot be read or holds no note the keyboard has.
    [[nodiscard]] static std::optional<Import> fromMidi(const QByteArray& data, const QString& name,
                                                        QString* error = nullptr);
};
