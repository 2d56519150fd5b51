#pragma once

#include "performer/KPNoteListener.h"
#include "platform/KPClock.h"
#include "recordings/KPPianoRecording.h"
#include "recordings/KPRecordingsAutosave.h"
#include "recordings/KPRecordingsStore.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class KPNotePerformer;
class KPRecordingsPlaybackObserver;
class KPSoundPlayer;

// Records what is played, keeps the list of recordings (newest first) and plays one back with
// the timing it was played with. A recording's times count from its first key event.
//
// As a listener of the note performer it records every press and release played, by key index.
// Playback plays through the performer as a source of its own: each event is handed over ahead of
// its time (kPlaybackLead) with its exact time, start + its interval, however late the events
// before it were, so that where we mix it lands on its frame. Stopping cancels every event not
// yet due and releases what the playback holds, and nothing the user holds.
//
// The list is read from the archive file when the manager is made and written, when it changed,
// by saveAllRecordings() and within a second of every change (a recording saved, renamed, deleted
// or added), in the background. A recording ends by itself at kLongestRecording. Main thread
// only.
class KPRecordingsManager : public QObject, public KPNoteListener
{
    Q_OBJECT

public:
    static constexpr char recordingSavedNotification[] =
        "KPRecordingsManagerRecordingSavedNotification";
    // How long before its time a playback event goes to the performer.
    static constexpr KPClock::Duration kPlaybackLead = std::chrono::milliseconds(100);
    static constexpr std::chrono::seconds kLongestRecording{KPPianoRecording::kLongestSeconds};

    // The archive file in the application-support folder; empty when there is no such folder.
    static QString recordingsDataFile();

    // Reads the archive at `dataFile`, a file that is not an archive is moved aside (see
    // archiveProblem()). The sound player may come later (setSoundPlayer()): until it does,
    // recordings are kept without an instrument and play back on whichever is chosen. The
    // archive never grows past `maxArchiveBytes`.
    explicit KPRecordingsManager(const QString& dataFile, KPSoundPlayer* soundPlayer = nullptr,
                                 QObject* parent = nullptr,
                                 qint64 maxArchiveBytes = KPRecordingsStore::kMaxArchiveBytes);
    ~KPRecordingsManager() override;

    bool recording() const { return m_recording; }
    bool playing() const { return m_playing; }
    int32_t playingIndex() const { return m_playingIndex; }
    const QList<KPPianoRecording>& recordings() const { return m_recordings; }
    bool recordingsStateChanged() const { return m_recordingsStateChanged; }
    // Set when the archive could not be read at start: what happened and where the file went.
    const QString& archiveProblem() const { return m_archiveProblem; }
    // The recordings of the archive that could not be read at start, when the rest could.
    int unreadableRecordings() const { return m_unreadableRecordings; }

    // Neither is owned; either may be null. Playback plays nothing without a performer.
    KPRecordingsPlaybackObserver* playbackObserver() const { return m_playbackObserver; }
    void setPerformer(KPNotePerformer* performer);
    // Not owned; the instrument of a recording is read from it and chosen on it for playback.
    void setSoundPlayer(KPSoundPlayer* player) { m_soundPlayer = player; }
    void setPlaybackObserver(KPRecordingsPlaybackObserver* observer)
    {
        m_playbackObserver = observer;
    }

    void startRecording();
    // Stamps the event with the seconds since the recording's first event and keeps it.
    void addRecordingAction(KPPianoKeyAction action);
    void stopRecording();
    void saveRecording();
    // Puts a recording made elsewhere (an imported file) at the top of the list. Refused (false,
    // the reason in `error` and told by changeRefused()) when the archive would grow past what
    // a reader takes: the list and the file stay as they were.
    bool addRecording(const KPPianoRecording& recording, QString* error = nullptr);

    void startPlaybackForRecording(uint32_t position);
    void playbackRecordingAction(const KPPianoKeyAction& action);
    void playbackCompleted();
    void stopPlayback();

    // What is played, recorded while recording.
    void notePressed(KPNoteSource source, uint32_t note, uint8_t velocity) override;
    void noteReleased(KPNoteSource source, uint32_t note, bool stillHeld) override;

    // Whether `recording` came into the list from the archive, put there by another process
    // while this one ran (a launch that gave up waiting and wrote its import itself).
    bool tookIn(const KPPianoRecording& recording) const { return m_takenIn.contains(recording); }

    // Positions outside the list give no title and change nothing.
    std::optional<QString> titleForRecording(uint32_t position) const;
    void deleteRecording(uint32_t position);
    void changeNameForRecording(uint32_t position, std::optional<QString> name);

    void loadRecordings();
    // Writes the whole list when it changed, at once; a failed write keeps it marked as changed
    // and is told by saveFailed().
    void saveAllRecordings();

signals:
    // recordingSavedNotification: a recording has just been saved.
    void recordingSaved();
    // Writing the archive failed (`error` says why); it is tried again until it works.
    void saveFailed(const QString& error);
    // The archive holds the list again after a failed write.
    void saveRecovered();
    // A recording was not added: the archive would grow too large (`reason`).
    void changeRefused(const QString& reason);

private:
    KPClock::Duration delayOf(qsizetype step) const;
    void schedulePlayback();
    void handOverDueActions();
    void perform(const KPPianoKeyAction& action, KPClock::TimePoint at);
    void markChanged();
    void saveFinished(const KPRecordingsAutosave::Result& result);

    KPSoundPlayer* m_soundPlayer;
    KPRecordingsStore m_store;
    KPRecordingsAutosave m_autosave;
    QString m_archiveProblem;
    int m_unreadableRecordings = 0;
    bool m_saveFailing = false;

    KPClock::TimePoint m_recordingStartTime;
    QDateTime m_recordingStartDate;
    QList<KPPianoKeyAction> m_recordingActions;
    bool m_recordingsStateChanged = false;
    bool m_playing = false;
    int32_t m_playingIndex = -1;
    bool m_recording = false;
    QList<KPPianoRecording> m_recordings;
    QList<KPPianoRecording> m_takenIn;
    KPNotePerformer* m_performer = nullptr;
    KPRecordingsPlaybackObserver* m_playbackObserver = nullptr;

    // The playback under way: its events, the order in which they fall due (empty when that is
    // the list's order), the next one to hand over, and the one alarm that wakes for it.
    QList<KPPianoKeyAction> m_playbackActions;
    std::vector<qsizetype> m_playbackOrder;
    qsizetype m_nextPlaybackStep = 0;
    KPClock::Duration m_playbackEnd{};
    KPClock::TimePoint m_playbackStart;
    QPointer<QObject> m_playbackAlarm;
    uint64_t m_playbackGeneration = 0;
};
