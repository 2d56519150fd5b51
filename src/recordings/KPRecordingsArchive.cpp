#include "recordings/KPRecordingsArchive.h"

#include "platform/KPKeyedArchiver.h"
#include "platform/KPKeyedUnarchiver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using Uid = KPKeyedUnarchiver::Uid;

// Key indexes name the 84 keys of the keyboard; playing any other would reach past its notes.
constexpr int64_t kKeyCount = 84;

// What reading keeps; writing leaves out any other event, which could not be played either,
// so that one such event never makes the whole archive unreadable.
bool isPlayable(int64_t index, float interval)
{
    return index >= 0 && index < kKeyCount && std::isfinite(interval);
}

// A well-formed event that could not be played (a key off the keyboard, a time that is not a
// number) is left out with a log line, the rest of its recording kept: nothing when it is.
std::optional<KPPianoKeyAction> decodeAction(KPKeyedUnarchiver& archive, Uid uid)
{
    const auto object = archive.object(uid, {"KPPianoKeyAction"});
    if (!object)
        return std::nullopt;
    // A key that is absent reads as nil, which counts as zero.
    const int64_t index = archive.integerForKey(*object, "index").value_or(0);
    const int64_t state = archive.integerForKey(*object, "state").value_or(0);
    const double interval = archive.realForKey(*object, "interval").value_or(0.0);
    // Absent in archives of touches, and where it is unknown; a damaged one is brought in range.
    const int64_t velocity = std::clamp<int64_t>(
        archive.integerForKey(*object, "velocity").value_or(KPPianoKeyAction::kFullVelocity), 1,
        KPPianoKeyAction::kFullVelocity);
    if (state < std::numeric_limits<int32_t>::min() || state > std::numeric_limits<int32_t>::max())
        archive.fail(QStringLiteral("key event %1 has state %2").arg(uid).arg(state));
    if (archive.failed())
        return std::nullopt;
    if (!isPlayable(index, float(interval))) {
        qWarning("KPRecordingsArchive: left out key event %llu, which names key %lld at %g s",
                 qulonglong(uid), qlonglong(index), interval);
        return std::nullopt;
    }
    return KPPianoKeyAction{int32_t(index), KPRecordedKeyState(int32_t(state)), float(interval),
                            uint8_t(velocity)};
}

std::optional<KPPianoRecording> decodeRecording(KPKeyedUnarchiver& archive, Uid uid)
{
    const auto object = archive.object(uid, {"KPPianoRecording"});
    if (!object)
        return std::nullopt;
    KPPianoRecording recording;
    if (const auto actions = archive.arrayForKey(*object, "actions")) {
        recording.actions.reserve(actions->size());
        for (Uid action : *actions) {
            const auto decoded = decodeAction(archive, action);
            if (archive.failed())
                return std::nullopt;
            if (decoded)
                recording.actions.append(*decoded);
        }
    }
    recording.soundBankName = archive.stringForKey(*object, "soundbankname").value_or(QString());
    recording.recordingDate = archive.dateForKey(*object, "recordingdate").value_or(QDateTime());
    recording.recordingName = archive.stringForKey(*object, "recordingname");
    if (archive.failed())
        return std::nullopt;
    return recording;
}

} // namespace

// An event is its object (a marker and five keys with their values, four-byte references), its
// interval, and the references to both: 76 bytes, with the indexes, states and velocities shared.
// A recording adds its object, its list, its date and its strings (UTF-16 at worst); the frame
// (header, keys, classes, trailer) is a few hundred bytes.
qint64 KPRecordingsArchive::sizeBound(const QList<KPPianoRecording>& recordings)
{
    constexpr qint64 kFrameBytes = 4096;
    constexpr qint64 kRecordingBytes = 256;
    constexpr qint64 kActionBytes = 80;
    constexpr qint64 kStringBytes = 32;
    qint64 bytes = kFrameBytes;
    for (const KPPianoRecording& recording : recordings) {
        bytes += kRecordingBytes + kActionBytes * recording.actions.size() +
                 2 * (kStringBytes + recording.soundBankName.size() +
                      recording.recordingName.value_or(QString()).size());
    }
    return bytes;
}

QByteArray KPRecordingsArchive::encode(const QList<KPPianoRecording>& recordings)
{
    KPKeyedArchiver archiver;
    const Uid root = archiver.reserve();
    const Uid recordingClass =
        archiver.classFor({QStringLiteral("KPPianoRecording"), QStringLiteral("NSObject")});
    const Uid actionClass =
        archiver.classFor({QStringLiteral("KPPianoKeyAction"), QStringLiteral("NSObject")});
    const auto actionsKey = archiver.key(QStringLiteral("actions"));
    const auto soundBankKey = archiver.key(QStringLiteral("soundbankname"));
    const auto dateKey = archiver.key(QStringLiteral("recordingdate"));
    const auto nameKey = archiver.key(QStringLiteral("recordingname"));
    const auto indexKey = archiver.key(QStringLiteral("index"));
    const auto stateKey = archiver.key(QStringLiteral("state"));
    const auto intervalKey = archiver.key(QStringLiteral("interval"));
    const auto velocityKey = archiver.key(QStringLiteral("velocity"));

    std::vector<Uid> recordingUids;
    std::vector<Uid> actionUids;
    for (const KPPianoRecording& recording : recordings) {
        const Uid slot = archiver.reserve();
        recordingUids.push_back(slot);
        const Uid actionsSlot = archiver.reserve();
        actionUids.clear();
        for (const KPPianoKeyAction& action : recording.actions) {
            if (!isPlayable(action.index, action.interval))
                continue;
            const Uid actionSlot = archiver.reserve();
            actionUids.push_back(actionSlot);
            const Uid index = archiver.integer(action.index);
            const Uid state = archiver.integer(int32_t(action.state));
            const Uid interval = archiver.real32(action.interval);
            // Only below full, so that the archive of touches stays as it always was.
            if (action.velocity < KPPianoKeyAction::kFullVelocity)
                archiver.setObject(actionSlot, actionClass,
                                   {{indexKey, index},
                                    {stateKey, state},
                                    {intervalKey, interval},
                                    {velocityKey, archiver.integer(action.velocity)}});
            else
                archiver.setObject(actionSlot, actionClass,
                                   {{indexKey, index}, {stateKey, state}, {intervalKey, interval}});
        }
        archiver.setArray(actionsSlot, actionUids);
        const Uid name = recording.recordingName ? archiver.string(*recording.recordingName)
                                                 : KPKeyedArchiver::nil;
        archiver.setObject(slot, recordingClass,
                           {{actionsKey, actionsSlot},
                            {soundBankKey, archiver.string(recording.soundBankName)},
                            {dateKey, archiver.date(recording.recordingDate)},
                            {nameKey, name}});
    }
    archiver.setArray(root, recordingUids);
    return archiver.finish(root);
}

std::optional<QList<KPPianoRecording>> KPRecordingsArchive::decode(const QByteArray& data,
                                                                   QString* error, int* unreadable)
{
    KPKeyedUnarchiver archive(data);
    QList<KPPianoRecording> recordings;
    int lost = 0;
    QString firstReason;
    // An archive without a root holds no recordings.
    if (!archive.failed() && archive.root() != KPKeyedUnarchiver::nil) {
        const auto list = archive.array(archive.root());
        for (Uid uid : list.value_or(QList<Uid>())) {
            if (auto recording = decodeRecording(archive, uid)) {
                recordings.append(std::move(*recording));
                continue;
            }
            ++lost;
            const QString reason = archive.takeError();
            if (firstReason.isEmpty())
                firstReason =
                    QStringLiteral("recording %1: %2").arg(lost + recordings.size()).arg(reason);
        }
    }
    if (archive.failed()) {
        if (error)
            *error = archive.error();
        return std::nullopt;
    }
    if (unreadable)
        *unreadable = lost;
    if (lost > 0 && error)
        *error = firstReason;
    return recordings;
}
