#include "exchange/KPRecordingMidi.h"

#include "exchange/KPStandardMidiFile.h"
#include "keyboard/KPKeyboardLayout.h"
#include "platform/KPLocalization.h"
#include "platform/KPRegularFile.h"

#include <QFileInfo>

#include <QStringList>

#include <algorithm>
#include <array>
#include <utility>

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
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kSustainPedal = 64;
constexpr uint8_t kPercussionChannel = 9; // channel 10, counted from 1

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

// The window's words count as "notes outside C1 to B7: 2", which reads in every language
// without plural forms; the command line's keep their English plurals.
QString KPRecordingMidi::Import::leftOut(Words words) const
{
    const bool localized = words == Words::Localized;
    const auto notes = [localized](const char* key, int count, const QString& english) {
        if (localized)
            return KPLocalization::string(key).arg(count);
        return (count == 1 ? QStringLiteral("1 note") : QStringLiteral("%1 notes").arg(count)) +
               english;
    };
    QStringList parts;
    if (droppedNotes > 0)
        parts << notes("LEFTOUTRANGE", droppedNotes, QStringLiteral(" outside C1 to B7"));
    if (drumNotes > 0)
        parts << notes("LEFTOUTDRUMS", drumNotes, QStringLiteral(" of percussion (channel 10)"));
    const auto cut = [localized](const char* key, const QString& english, int count) {
        return (localized ? KPLocalization::string(key) : english).arg(count);
    };
    if (cutAtNotes)
        parts << cut("LEFTOUTNOTES", QStringLiteral("every note after the first %1"), kMaxNotes);
    if (cutAtLength)
        parts << cut("LEFTOUTLENGTH", QStringLiteral("everything after %1 hours"),
                     KPPianoRecording::kLongestSeconds / 3600);
    if (parts.isEmpty())
        return {};
    return (localized ? KPLocalization::string("LEFTOUT") : QStringLiteral("left out %1"))
        .arg(parts.join(QStringLiteral(", ")));
}

// A release is written only for a key that sounds: the release of every key that ending a
// touch records would otherwise be hundreds of note-offs for nothing.
QByteArray KPRecordingMidi::toMidi(const KPPianoRecording& recording)
{
    QList<KPStandardMidiFile::Message> messages;
    messages.reserve(recording.actions.size() + 1);
    messages.append({0.0, kProgramChange,
                     uint8_t(programForSoundBank(recording.soundBankName).value_or(0)), 0});
    std::array<bool, 128> sounding{};
    for (const KPPianoKeyAction& action : recording.actions) {
        const uint32_t note = KPKeyboardLayout::midiIndexForKey(uint32_t(action.index));
        if (note == 0 || note >= sounding.size())
            continue;
        const double seconds = double(action.interval);
        if (action.isRelease()) {
            if (std::exchange(sounding[note], false))
                messages.append({seconds, kNoteOff, uint8_t(note), 0});
        } else {
            sounding[note] = true;
            messages.append({seconds, kNoteOn, uint8_t(note),
                             uint8_t(std::clamp<int>(action.velocity, 1, 127))});
        }
    }
    return KPStandardMidiFile::writeType0(recording.recordingName.value_or(QString()), messages);
}

// Notes become presses and releases of their keys. A note struck again while it sounds is
// released and pressed anew, as a player would; a release of a key that is not down is dropped.
// While a channel's pedal is down its released notes go on sounding, and they stop when it
// comes up. At a limit the import ends: every key still down is released there.
std::optional<KPRecordingMidi::Import>
KPRecordingMidi::fromMidi(const QByteArray& data, const QString& name, QString* error)
{
    const auto sequence = KPStandardMidiFile::read(data, error);
    if (!sequence)
        return std::nullopt;

    Import result;
    QList<KPPianoKeyAction>& actions = result.recording.actions;
    std::optional<QString> soundBank;
    std::array<bool, KPKeyboardLayout::keyCount> down{};
    // Released while the pedal of `channelOf` was down: sounding until it comes up.
    std::array<bool, KPKeyboardLayout::keyCount> held{};
    std::array<uint8_t, KPKeyboardLayout::keyCount> channelOf{};
    std::array<bool, 16> pedal{};
    int noteCount = 0;
    const auto release = [&](uint32_t key, float interval) {
        actions.append({int32_t(key), KPRecordedKeyState::Released, interval});
        down[key] = false;
        held[key] = false;
    };
    float end = 0.0f;
    for (const KPStandardMidiFile::Message& message : sequence->messages) {
        const uint8_t kind = message.status & 0xF0;
        const uint8_t channel = message.status & 0x0F;
        if (message.seconds > KPPianoRecording::kLongestSeconds) {
            result.cutAtLength = true;
            end = float(KPPianoRecording::kLongestSeconds);
            break;
        }
        const float interval = float(message.seconds);
        end = interval;
        if (kind == kProgramChange) {
            if (!soundBank && channel != kPercussionChannel)
                soundBank =
                    soundBankForProgram(message.data1).value_or(QStringLiteral("Grand Piano"));
            continue;
        }
        if (kind == kControlChange && message.data1 == kSustainPedal) {
            pedal[channel] = message.data2 >= 64;
            for (uint32_t key = 0; key < held.size() && !pedal[channel]; ++key) {
                if (held[key] && channelOf[key] == channel)
                    release(key, interval);
            }
            continue;
        }
        const bool on = kind == kNoteOn && message.data2 > 0;
        if (!on && kind != kNoteOff && kind != kNoteOn)
            continue;
        if (channel == kPercussionChannel) {
            result.drumNotes += on;
            continue;
        }
        const auto key = KPKeyboardLayout::keyForMidiNote(message.data1);
        if (!key) {
            result.droppedNotes += on;
            continue;
        }
        if (on) {
            if (noteCount == kMaxNotes) {
                result.cutAtNotes = true;
                break;
            }
            ++noteCount;
            if (down[*key])
                release(*key, interval);
            actions.append({int32_t(*key), KPRecordedKeyState::Pressed, interval, message.data2});
            down[*key] = true;
            channelOf[*key] = channel;
        } else if (down[*key] && !held[*key]) {
            if (pedal[channelOf[*key]])
                held[*key] = true;
            else
                release(*key, interval);
        }
    }
    for (uint32_t key = 0; key < down.size(); ++key) {
        if (down[key] && (result.cutAtNotes || result.cutAtLength || held[key]))
            release(key, end);
    }
    if (actions.isEmpty()) {
        // Notes that were there and were cut are named: the file is not empty.
        if (error)
            *error = result.leftOut().isEmpty()
                         ? QStringLiteral("the file holds no note from C1 to B7")
                         : QStringLiteral("no note is left to import: ") + result.leftOut();
        return std::nullopt;
    }
    result.recording.soundBankName = soundBank.value_or(QStringLiteral("Grand Piano"));
    result.recording.recordingDate = QDateTime::currentDateTime();
    result.recording.recordingName = name;
    return result;
}

std::optional<KPRecordingMidi::Import>
KPRecordingMidi::readFile(const QString& path, const QDateTime& date, QString* error)
{
    const std::optional<QByteArray> data = KPRegularFile::read(path, kMaxFileBytes, error);
    if (!data)
        return std::nullopt;
    std::optional<Import> imported = fromMidi(*data, QFileInfo(path).completeBaseName(), error);
    if (imported)
        imported->recording.recordingDate = date;
    return imported;
}
