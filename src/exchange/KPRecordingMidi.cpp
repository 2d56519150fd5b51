#include "exchange/KPRecordingMidi.h"

#include "exchange/KPStandardMidiFile.h"
#include "keyboard/KPKeyboardLayout.h"

#include <array>

namespace {

struct Instrument
{
    const char* soundBank;
    int program;
};

// The banks were rendered from these programs of the General MIDI sound set.
constexpr std::array<Instrument, 6> kInstruments = {{{"Grand Piano", 0},
                                                     {"Music Box", 10},
                                                     {"Ahh Choir", 52},
                                                     {"Electric Piano", 4},
                                                     {"Accordion", 21},
                                                     {"Banjo", 105}}};

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kProgramChange = 0xC0;
constexpr uint8_t kFullVelocity = 127;

} // namespace

std::optional<int> KPRecordingMidi::programForSoundBank(const QString& soundBankName)
{
    for (const Instrument& instrument : kInstruments) {
        if (soundBankName == QLatin1String(instrument.soundBank))
            return instrument.program;
    }
    return std::nullopt;
}

std::optional<QString> KPRecordingMidi::soundBankForProgram(int program)
{
    for (const Instrument& instrument : kInstruments) {
        if (program == instrument.program)
            return QString::fromLatin1(instrument.soundBank);
    }
    return std::nullopt;
}

QByteArray KPRecordingMidi::toMidi(const KPPianoRecording& recording)
{
    QList<KPStandardMidiFile::Message> messages;
    messages.reserve(recording.actions.size() + 1);
    messages.append({0.0, kProgramChange,
                     uint8_t(programForSoundBank(recording.soundBankName).value_or(0)), 0});
    for (const KPPianoKeyAction& action : recording.actions) {
        const uint32_t note = KPKeyboardLayout::midiIndexForKey(uint32_t(action.index));
        if (note == 0)
            continue;
        const double seconds = double(action.interval);
        if (action.isRelease())
            messages.append({seconds, kNoteOff, uint8_t(note), 0});
        else
            messages.append({seconds, kNoteOn, uint8_t(note), kFullVelocity});
    }
    return KPStandardMidiFile::writeType0(recording.recordingName.value_or(QString()), messages);
}

// Notes become presses and releases of their keys. A note struck again while it sounds is
// released and pressed anew, as a player would; a release of a key that is not down is dropped.
std::optional<KPRecordingMidi::Import>
KPRecordingMidi::fromMidi(const QByteArray& data, const QString& name, QString* error)
{
    const auto sequence = KPStandardMidiFile::read(data, error);
    if (!sequence)
        return std::nullopt;

    Import result;
    std::optional<QString> soundBank;
    std::array<bool, KPKeyboardLayout::keyCount> down{};
    for (const KPStandardMidiFile::Message& message : sequence->messages) {
        const uint8_t kind = message.status & 0xF0;
        if (kind == kProgramChange) {
            if (!soundBank)
                soundBank =
                    soundBankForProgram(message.data1).value_or(QStringLiteral("Grand Piano"));
            continue;
        }
        const bool on = kind == kNoteOn && message.data2 > 0;
        if (!on && kind != kNoteOff && kind != kNoteOn)
            continue;
        const auto key = KPKeyboardLayout::keyForMidiNote(message.data1);
        if (!key) {
            result.droppedNotes += on;
            continue;
        }
        const float interval = float(message.seconds);
        if (on) {
            if (down[*key])
                result.recording.actions.append(
                    {int32_t(*key), KPRecordedKeyState::Released, interval});
            result.recording.actions.append({int32_t(*key), KPRecordedKeyState::Pressed, interval});
            down[*key] = true;
        } else if (down[*key]) {
            result.recording.actions.append(
                {int32_t(*key), KPRecordedKeyState::Released, interval});
            down[*key] = false;
        }
    }
    if (result.recording.actions.isEmpty()) {
        if (error)
            *error = QStringLiteral("the file holds no note from C1 to B7");
        return std::nullopt;
    }
    result.recording.soundBankName = soundBank.value_or(QStringLiteral("Grand Piano"));
    result.recording.recordingDate = QDateTime::currentDateTime();
    result.recording.recordingName = name;
    return result;
}
