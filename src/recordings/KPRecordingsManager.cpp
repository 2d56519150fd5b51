#include "recordings/KPRecordingsManager.h"

#include "audio/KPSoundPlayer.h"
#include "keyboard/KPKeyboardLayout.h"
#include "performer/KPNotePerformer.h"
#include "platform/KPAppPaths.h"
#include "recordings/KPRecordingsArchive.h"
#include "recordings/KPRecordingsPlaybackObserver.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace {

// A stored interval that is not a number or lies before the start plays at once; one beyond
// this bound (only a damaged file has such) plays after it, which keeps the clock arithmetic
// from overflowing.
constexpr double kLongestDelay = 1.0e7;

KPClock::Duration delayFor(float interval)
{
    const double seconds =
        std::isnan(interval) ? 0.0 : std::clamp(double(interval), 0.0, kLongestDelay);
    return std::chrono::duration_cast<KPClock::Duration>(std::chrono::duration<double>(seconds));
}

} // namespace

QString KPRecordingsManager::recordingsDataFile()
{
    const QString folder = KPAppPaths::applicationSupportDirectory();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("recordings"));
}

KPRecordingsManager::KPRecordingsManager(const QString& dataFile, KPSoundPlayer* soundPlayer,
                                         QObject* parent, qint64 maxArchiveBytes)
    : QObject(parent), m_soundPlayer(soundPlayer), m_store(dataFile, maxArchiveBytes),
      m_autosave(
          m_store,
          [this]() -> std::optional<QList<KPPianoRecording>> {
              if (!std::exchange(m_recordingsStateChanged, false))
                  return std::nullopt;
              return m_recordings;
          },
          [this](const KPRecordingsAutosave::Result& result) { saveFinished(result); })
{
    loadRecordings();
}

KPRecordingsManager::~KPRecordingsManager()
{
    setPerformer(nullptr);
}

// The manager records what its performer plays.
void KPRecordingsManager::setPerformer(KPNotePerformer* performer)
{
    if (m_performer == performer)
        return;
    stopPlayback();
    if (m_performer)
        m_performer->removeListener(this);
    m_performer = performer;
    if (m_performer)
        m_performer->addListener(this);
}

// Recordings keep key indexes: notes off the keyboard are not kept.
void KPRecordingsManager::notePressed(KPNoteSource /*source*/, uint32_t note, uint8_t velocity)
{
    if (const auto key = KPKeyboardLayout::keyForMidiNote(note))
        addRecordingAction({int32_t(*key), KPRecordedKeyState::Pressed, 0.0f, velocity});
}

void KPRecordingsManager::noteReleased(KPNoteSource /*source*/, uint32_t note, bool /*stillHeld*/)
{
    if (const auto key = KPKeyboardLayout::keyForMidiNote(note))
        addRecordingAction(
            {int32_t(*key), KPRecordedKeyState::Released, 0.0f, KPPianoKeyAction::kFullVelocity});
}

void KPRecordingsManager::startRecording()
{
    if (m_recording)
        return;
    m_recordingActions.clear();
    m_recording = true;
}

void KPRecordingsManager::addRecordingAction(KPPianoKeyAction action)
{
    if (!m_recording)
        return;
    const KPClock::TimePoint now = KPClock::current().now();
    if (m_recordingActions.isEmpty()) {
        m_recordingStartTime = now;
        m_recordingStartDate = QDateTime::currentDateTimeUtc();
    }
    if (now - m_recordingStartTime >= kLongestRecording) {
        qWarning(
            "KPRecordingsManager: the recording reached %lld hours and was ended there",
            qlonglong(std::chrono::duration_cast<std::chrono::hours>(kLongestRecording).count()));
        stopRecording();
        return;
    }
    action.interval = float(std::chrono::duration<double>(now - m_recordingStartTime).count());
    m_recordingActions.append(action);
}

void KPRecordingsManager::stopRecording()
{
    if (!m_recording)
        return;
    saveRecording();
    m_recording = false;
}

void KPRecordingsManager::saveRecording()
{
    if (m_recordingActions.isEmpty())
        return;
    if (addRecording(KPPianoRecording{
            m_recordingActions,
            m_soundPlayer ? m_soundPlayer->activeSoundBank().value_or(QString()) : QString(),
            m_recordingStartDate, std::nullopt}))
        emit recordingSaved();
}

bool KPRecordingsManager::addRecording(const KPPianoRecording& recording, QString* error)
{
    QList<KPPianoRecording> grown = m_recordings;
    grown.prepend(recording);
    if (const qint64 bytes = KPRecordingsArchive::sizeBound(grown); bytes > m_store.maxBytes()) {
        const QString reason = m_store.tooLarge(bytes);
        qWarning("KPRecordingsManager: a recording of %lld key events was not added: %s",
                 qlonglong(recording.actions.size()), qPrintable(reason));
        if (error)
            *error = reason;
        emit changeRefused(reason);
        return false;
    }
    m_recordings = std::move(grown);
    // The recording that plays moved one place down with the rest.
    if (m_playingIndex >= 0)
        ++m_playingIndex;
    if (m_playbackObserver)
        m_playbackObserver->recordingAdded();
    markChanged();
    return true;
}

void KPRecordingsManager::markChanged()
{
    m_recordingsStateChanged = true;
    m_autosave.changed();
}

// Events fall due at start + their own interval, in time order and, at equal times, in list
// order; the end comes at the last event's interval, after every event due by then. One alarm
// waits for whatever is next, so a late event never delays the ones after it.
void KPRecordingsManager::startPlaybackForRecording(uint32_t position)
{
    if (m_recording || position >= uint32_t(m_recordings.size()))
        return;
    if (m_playing)
        stopPlayback();
    const KPPianoRecording& recording = m_recordings.at(position);
    if (m_soundPlayer)
        m_soundPlayer->useSoundBank(recording.soundBankName);

    m_playbackActions = recording.actions;
    m_playbackOrder.clear();
    const auto inTimeOrder = [](const KPPianoKeyAction& a, const KPPianoKeyAction& b) {
        return delayFor(a.interval) < delayFor(b.interval);
    };
    if (!std::is_sorted(m_playbackActions.cbegin(), m_playbackActions.cend(), inTimeOrder)) {
        m_playbackOrder.resize(size_t(m_playbackActions.size()));
        std::iota(m_playbackOrder.begin(), m_playbackOrder.end(), 0);
        std::stable_sort(m_playbackOrder.begin(), m_playbackOrder.end(),
                         [this](qsizetype a, qsizetype b) {
                             return delayFor(m_playbackActions.at(a).interval) <
                                    delayFor(m_playbackActions.at(b).interval);
                         });
    }
    m_nextPlaybackStep = 0;
    m_playbackEnd = m_playbackActions.isEmpty() ? KPClock::Duration::zero()
                                                : delayFor(m_playbackActions.constLast().interval);
    m_playbackStart = KPClock::current().now();
    m_playing = true;
    m_playingIndex = int32_t(position);
    ++m_playbackGeneration;
    schedulePlayback();
}

KPClock::Duration KPRecordingsManager::delayOf(qsizetype step) const
{
    const qsizetype index = m_playbackOrder.empty() ? step : m_playbackOrder[size_t(step)];
    return delayFor(m_playbackActions.at(index).interval);
}

// Wakes kPlaybackLead before the next event to hand it over, or at the end itself.
void KPRecordingsManager::schedulePlayback()
{
    const bool eventNext = m_nextPlaybackStep < m_playbackActions.size() &&
                           delayOf(m_nextPlaybackStep) <= m_playbackEnd;
    const KPClock::TimePoint due =
        eventNext ? m_playbackStart + delayOf(m_nextPlaybackStep) - kPlaybackLead
                  : m_playbackStart + m_playbackEnd;
    m_playbackAlarm = KPClock::current().wakeAt(this, due, KPClock::Precision::Exact, [this] {
        // A ringing alarm is spent: stopping from inside the replay must not delete it.
        m_playbackAlarm = nullptr;
        handOverDueActions();
    });
}

void KPRecordingsManager::handOverDueActions()
{
    const uint64_t generation = m_playbackGeneration;
    const KPClock::TimePoint now = KPClock::current().now();
    while (m_playing && generation == m_playbackGeneration) {
        if (m_nextPlaybackStep < m_playbackActions.size() &&
            delayOf(m_nextPlaybackStep) <= m_playbackEnd) {
            const KPClock::TimePoint at = m_playbackStart + delayOf(m_nextPlaybackStep);
            if (at - kPlaybackLead > now)
                break;
            const qsizetype step = m_nextPlaybackStep++;
            perform(m_playbackActions.at(m_playbackOrder.empty() ? step
                                                                 : m_playbackOrder[size_t(step)]),
                    at);
        } else {
            if (m_playbackStart + m_playbackEnd > now)
                break;
            playbackCompleted();
            return;
        }
    }
    if (m_playing && generation == m_playbackGeneration)
        schedulePlayback();
}

void KPRecordingsManager::playbackRecordingAction(const KPPianoKeyAction& action)
{
    perform(action, KPClock::current().now());
}

// Key indexes past the keyboard (from a damaged file) play nothing.
void KPRecordingsManager::perform(const KPPianoKeyAction& action, KPClock::TimePoint at)
{
    if (!m_playing || !m_performer || action.index < 0 ||
        uint32_t(action.index) >= KPKeyboardLayout::keyCount)
        return;
    const uint32_t note = KPKeyboardLayout::midiIndexForKey(uint32_t(action.index));
    if (action.isRelease())
        m_performer->noteOff(KPNoteSource::Playback, note, at);
    else
        m_performer->noteOn(KPNoteSource::Playback, note, action.velocity, at);
}

void KPRecordingsManager::playbackCompleted()
{
    if (m_playing)
        stopPlayback();
}

void KPRecordingsManager::stopPlayback()
{
    if (!m_playing)
        return;
    if (m_playbackObserver)
        m_playbackObserver->playbackComplete();
    delete m_playbackAlarm;
    ++m_playbackGeneration;
    // What the playback holds or has handed over, and nothing the user holds.
    if (m_performer)
        m_performer->releaseAll(KPNoteSource::Playback);
    m_playing = false;
    m_playingIndex = -1;
}

std::optional<QString> KPRecordingsManager::titleForRecording(uint32_t position) const
{
    if (position >= uint32_t(m_recordings.size()))
        return std::nullopt;
    return m_recordings.at(position).recordingName;
}

// The playing recording keeps its row: one removed before it moves playingIndex down.
void KPRecordingsManager::deleteRecording(uint32_t position)
{
    if (position >= uint32_t(m_recordings.size()))
        return;
    if (int32_t(position) == m_playingIndex)
        stopPlayback();
    m_recordings.removeAt(position);
    if (m_playingIndex > int32_t(position))
        --m_playingIndex;
    markChanged();
}

void KPRecordingsManager::changeNameForRecording(uint32_t position, std::optional<QString> name)
{
    if (position >= uint32_t(m_recordings.size()))
        return;
    m_recordings[position].recordingName = std::move(name);
    markChanged();
}

void KPRecordingsManager::loadRecordings()
{
    m_archiveProblem.clear();
    m_unreadableRecordings = 0;
    m_recordings = m_store.load(&m_archiveProblem, &m_unreadableRecordings);
    // The rest is saved at once: the file then holds what is listed, and its copy the rest.
    if (m_unreadableRecordings > 0)
        markChanged();
}

void KPRecordingsManager::saveAllRecordings()
{
    m_autosave.waitForWrite();
    if (!std::exchange(m_recordingsStateChanged, false))
        return;
    KPRecordingsAutosave::Result result;
    QList<KPPianoRecording> recordings = m_recordings;
    result.saved = m_store.save(recordings, &result.added, &result.error);
    saveFinished(result);
}

// Recordings another process put in the archive meanwhile join the top of the list, as an
// import does.
void KPRecordingsManager::saveFinished(const KPRecordingsAutosave::Result& result)
{
    if (!result.saved) {
        m_recordingsStateChanged = true;
        qWarning("KPRecordingsManager: Could not save the recordings to %s: %s",
                 qPrintable(m_store.path()), qPrintable(result.error));
        m_saveFailing = true;
        emit saveFailed(result.error);
        // Tried again in the background, also after a failed save on leaving the front.
        m_autosave.changed();
        return;
    }
    std::for_each(result.added.crbegin(), result.added.crend(), [this](const auto& added) {
        if (m_recordings.contains(added))
            return;
        m_recordings.prepend(added);
        m_takenIn.append(added);
        if (m_playingIndex >= 0)
            ++m_playingIndex;
        if (m_playbackObserver)
            m_playbackObserver->recordingAdded();
    });
    if (std::exchange(m_saveFailing, false))
        emit saveRecovered();
}
