#include "audio/KPSoundPlayer.h"
#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPTouchPlayer.h"
#include "KPAudioTestRig.h"
#include "KPTestClock.h"
#include "performer/KPNotePerformer.h"
#include "recordings/KPRecordingsArchive.h"
#include "recordings/KPRecordingsManager.h"
#include "recordings/KPRecordingsPlaybackObserver.h"
#include "recordings/KPRecordingsStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Notes each press and release the performer plays, by key index, and the clock's time, in
// milliseconds since `start`.
class KeysLog : public KPNoteListener
{
public:
    explicit KeysLog(KPNotePerformer& performer) : performer(performer)
    {
        performer.addListener(this);
    }
    ~KeysLog() override { performer.removeListener(this); }

    void notePressed(KPNoteSource /*source*/, uint32_t note, uint8_t velocity) override
    {
        if (velocity < KPPianoKeyAction::kFullVelocity)
            calls.append(
                QStringLiteral("play %1 at %2 @%3").arg(key(note)).arg(velocity).arg(at()));
        else
            calls.append(QStringLiteral("play %1 @%2").arg(key(note)).arg(at()));
    }
    void noteReleased(KPNoteSource /*source*/, uint32_t note, bool /*stillHeld*/) override
    {
        calls.append(QStringLiteral("stop %1 @%2").arg(key(note)).arg(at()));
    }

    static int64_t key(uint32_t note)
    {
        return KPKeyboardLayout::keyForMidiNote(note).value_or(-1);
    }
    long at() const
    {
        return long(
            std::chrono::duration_cast<std::chrono::milliseconds>(KPClock::current().now() - start)
                .count());
    }

    KPNotePerformer& performer;
    KPClock::TimePoint start = KPClock::current().now();
    QStringList calls;
};

// Notes what the manager tells its observer, with the playing position at that moment.
class ObserverLog : public KPRecordingsPlaybackObserver
{
public:
    explicit ObserverLog(const KPRecordingsManager* manager) : manager(manager) {}
    void playbackComplete() override
    {
        calls.append(QStringLiteral("complete %1").arg(manager->playingIndex()));
    }
    void recordingAdded() override
    {
        calls.append(QStringLiteral("added %1").arg(manager->recordings().size()));
    }

    const KPRecordingsManager* manager;
    QStringList calls;
};

KPPianoKeyAction action(int32_t index, int32_t state, float interval = 0,
                        uint8_t velocity = KPPianoKeyAction::kFullVelocity)
{
    return KPPianoKeyAction{index, KPRecordedKeyState(state), interval, velocity};
}

KPPianoRecording recordingOf(QList<KPPianoKeyAction> actions, const QString& bank = "Grand Piano")
{
    return {std::move(actions), bank, QDateTime::currentDateTimeUtc(), std::nullopt};
}

} // namespace

class TestRecordingsManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void recordingCountsFromTheFirstKey();
    void recordWithoutKeysMakesNothing();
    void recordsWhatThePerformerPlays();
    void touchesRecordEveryKeyLifted();
    void velocityIsRecordedAndPlayedBack();
    void playbackReplaysEachEventAtItsTime();
    void playbackEndsAfterTheLastEvent();
    void playbackIgnoredWhileRecordingOrOutOfRange();
    void newPlaybackStopsTheOldOne();
    void stopCancelsEveryPendingEvent();
    void heldKeySurvivesTheEndOfAPlayback();
    void deletingFollowsThePlayingRecording();
    void renamingAndPositionsOutsideTheList();

    void savedListReadsBack();
    void failedWriteKeepsTheChange_data();
    void failedWriteKeepsTheChange();
    void damagedArchiveIsSetAsideAndKept();
    void aDamagedRecordingCostsThatRecordingOnly();
    void nothingTheReaderWouldRefuseIsWritten();
    void leftoversOfKilledWritesGoAtStart();
    void peekingChangesNothingOnDisk();
    void everyChangeIsSavedWithinASecond();
    void aFailedSaveIsToldAndTriedAgain();
    void recordingsAnotherProcessAddedAreKept();
    void aRecordingEndsAtTwentyFourHours();

private:
    KPRecordingsManager& manager();
    // Writes recordings as an archive and reads them into a fresh manager.
    void loadArchive(const QList<KPPianoRecording>& recordings);

    KPAudioTest::AudioRig m_rig = KPAudioTest::AudioRig::withPlayer();
    KPSoundPlayer* m_player = &m_rig.player();
    KPNotePerformer m_performer{*m_player};
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<KPTestClock> m_clock;
    std::unique_ptr<KPRecordingsManager> m_manager;
    std::unique_ptr<KeysLog> m_keys;
    std::unique_ptr<ObserverLog> m_observer;
};

void TestRecordingsManager::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_clock = std::make_unique<KPTestClock>();
    m_player->useSoundBank(QStringLiteral("Grand Piano"));
    m_manager.reset();
}

void TestRecordingsManager::cleanup()
{
    m_manager.reset();
    m_clock.reset();
}

KPRecordingsManager& TestRecordingsManager::manager()
{
    if (!m_manager) {
        m_manager = std::make_unique<KPRecordingsManager>(
            m_folder->filePath(QStringLiteral("recordings")), m_player);
        m_keys.reset();
        m_keys = std::make_unique<KeysLog>(m_performer);
        m_observer = std::make_unique<ObserverLog>(m_manager.get());
        m_manager->setPerformer(&m_performer);
        m_manager->setPlaybackObserver(m_observer.get());
    }
    return *m_manager;
}

void TestRecordingsManager::loadArchive(const QList<KPPianoRecording>& recordings)
{
    QFile file(m_folder->filePath(QStringLiteral("recordings")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(KPRecordingsArchive::encode(recordings));
    file.close();
    m_manager.reset();
    QCOMPARE(manager().recordings().size(), recordings.size());
}

void TestRecordingsManager::recordingCountsFromTheFirstKey()
{
    QSignalSpy saved(&manager(), &KPRecordingsManager::recordingSaved);
    manager().startRecording();
    m_clock->advance(2s);
    manager().addRecordingAction(action(21, 0, 9.0f));
    m_clock->advance(250ms);
    manager().addRecordingAction(action(21, 1));
    manager().startRecording();
    m_player->useSoundBank(QStringLiteral("Banjo"));
    manager().stopRecording();

    QVERIFY(!manager().recording());
    const KPPianoRecording& made = manager().recordings().at(0);
    QCOMPARE(made.actions, (QList{action(21, 0, 0.0f), action(21, 1, 0.25f)}));
    QCOMPARE(made.soundBankName, QStringLiteral("Banjo"));
    QVERIFY(!manager().titleForRecording(0));
    QCOMPARE(m_observer->calls, QStringList{"added 1"});
    QCOMPARE(saved.size(), 1);
    QVERIFY(manager().recordingsStateChanged());

    // The next recording starts empty and goes to the front; the saved one keeps its events.
    manager().startRecording();
    manager().addRecordingAction(action(30, 0));
    manager().stopRecording();
    QCOMPARE(manager().recordings().at(0).actions.size(), 1);
    QCOMPARE(manager().recordings().at(1).actions.size(), 2);
    // Events while not recording are dropped.
    manager().addRecordingAction(action(31, 0));
    QCOMPARE(manager().recordings().size(), 2);
}

void TestRecordingsManager::recordWithoutKeysMakesNothing()
{
    QSignalSpy saved(&manager(), &KPRecordingsManager::recordingSaved);
    manager().startRecording();
    manager().stopRecording();
    QVERIFY(manager().recordings().isEmpty());
    QVERIFY(m_observer->calls.isEmpty());
    QCOMPARE(saved.size(), 0);
    QVERIFY(!manager().recordingsStateChanged());
}

// Whoever plays, by key index; a MIDI note off the keyboard is not kept.
void TestRecordingsManager::recordsWhatThePerformerPlays()
{
    manager().startRecording();
    m_performer.noteOn(KPNoteSource::Touch, 60, 127);
    m_performer.noteOn(KPNoteSource::Midi, 61, 64);
    m_performer.noteOn(KPNoteSource::Midi, 12, 64);
    m_clock->advance(500ms);
    m_performer.noteOff(KPNoteSource::Touch, 60);
    manager().stopRecording();
    QCOMPARE(manager().recordings().at(0).actions,
             (QList{action(21, 0), action(49 + 15, 0, 0.0f, 64), action(21, 1, 0.5f)}));
}

// Lifting every finger releases every key, each recorded; keys past the keyboard play and
// record nothing.
void TestRecordingsManager::touchesRecordEveryKeyLifted()
{
    KPTouchPlayer touch(m_performer);
    const int playing = m_player->sampler().playingVoiceCount();
    manager().startRecording();
    for (uint32_t key : {84u, 1000u, std::numeric_limits<uint32_t>::max()}) {
        touch.playKey(key);
        touch.stopKey(key);
    }
    QCOMPARE(m_player->sampler().playingVoiceCount(), playing);
    touch.playKey(14);
    touch.stopKey(14);
    touch.stopAll();
    manager().stopRecording();
    const QList<KPPianoKeyAction> actions = manager().recordings().at(0).actions;
    QCOMPARE(actions.size(), 2 + 84);
    QCOMPARE(actions.first(), action(14, 0));
    for (int32_t key = 0; key < 84; ++key)
        QCOMPARE(actions[2 + key], action(key, 1));
}

// A soft press (touch dynamics) is kept with its velocity and sounds as soft again on playback.
void TestRecordingsManager::velocityIsRecordedAndPlayedBack()
{
    // Nothing sounds on from earlier cases: a new instrument starts silent.
    m_player->useSoundBank(QStringLiteral("Banjo"));
    m_player->useSoundBank(QStringLiteral("Grand Piano"));
    KPTouchPlayer touch(m_performer);
    manager().startRecording();
    touch.playKey(21, 40);
    m_clock->advance(300ms);
    touch.stopKey(21);
    m_clock->advance(700ms);
    touch.playKey(21);
    m_clock->advance(300ms);
    touch.stopKey(21);
    manager().stopRecording();
    QCOMPARE(manager().recordings().at(0).actions.at(0).velocity, uint8_t(40));
    m_clock->advance(1s);

    const auto loudness = [this] {
        const std::vector<float> heard = m_rig.render(0.2);
        return KPAudioTest::level(heard, 0) + KPAudioTest::level(heard, 1);
    };
    manager().startPlaybackForRecording(0);
    m_clock->advance(0ms);
    const double soft = loudness();
    m_clock->advance(1s);
    const double full = loudness();
    QVERIFY2(std::abs(soft / full - KPSoundPlayer::gainForVelocity(40)) < 0.02,
             qPrintable(QStringLiteral("%1 / %2").arg(soft).arg(full)));
}

void TestRecordingsManager::playbackReplaysEachEventAtItsTime()
{
    // Stored out of time order and with a state 2, as a foreign file may hold them; the press of
    // 23 came from a MIDI keyboard, softly.
    loadArchive({recordingOf({action(21, 0, 0.0f), action(21, 1, 0.1f), action(23, 0, 0.05f, 60),
                              action(23, 2, 0.25f), action(30, 0, 0.25f)})});
    m_player->useSoundBank(QStringLiteral("Banjo"));
    m_keys->start = m_clock->now();
    manager().startPlaybackForRecording(0);
    QCOMPARE(m_player->activeSoundBank(), QStringLiteral("Grand Piano"));
    QVERIFY(m_keys->calls.isEmpty());

    for (int ms = 0; ms < 300; ++ms)
        m_clock->advance(1ms);
    // The end releases what the playback still holds.
    QCOMPARE(m_keys->calls, (QStringList{"play 21 @0", "play 23 at 60 @50", "stop 21 @100",
                                         "stop 23 @250", "play 30 @250", "stop 30 @250"}));
}

void TestRecordingsManager::playbackEndsAfterTheLastEvent()
{
    loadArchive({recordingOf({action(5, 0, 0.0f), action(5, 1, 0.5f)}), recordingOf({})});
    manager().startPlaybackForRecording(0);
    QVERIFY(manager().playing());
    QCOMPARE(manager().playingIndex(), 0);
    m_clock->advance(499ms);
    QVERIFY(manager().playing());
    m_clock->advance(1ms);
    QVERIFY(!manager().playing());
    QCOMPARE(manager().playingIndex(), -1);
    QCOMPARE(m_observer->calls, QStringList{"complete 0"});
    QCOMPARE(m_keys->calls, (QStringList{"play 5 @0", "stop 5 @500"}));
    QVERIFY(!m_performer.isHeld(KPKeyboardLayout::midiIndexForKey(5)));
    // Nothing was left pending.
    m_clock->advance(10s);
    QCOMPARE(m_keys->calls.size(), 2);

    // A recording without events ends as soon as the run loop turns.
    manager().startPlaybackForRecording(1);
    QVERIFY(manager().playing());
    m_clock->advance(0ms);
    QVERIFY(!manager().playing());
    QCOMPARE(m_observer->calls.last(), QStringLiteral("complete 1"));
}

void TestRecordingsManager::playbackIgnoredWhileRecordingOrOutOfRange()
{
    loadArchive({recordingOf({action(5, 0)})});
    manager().startPlaybackForRecording(1);
    QVERIFY(!manager().playing());
    manager().startRecording();
    manager().startPlaybackForRecording(0);
    QVERIFY(!manager().playing());
    m_clock->advance(1s);
    QVERIFY(m_keys->calls.isEmpty());
}

void TestRecordingsManager::newPlaybackStopsTheOldOne()
{
    loadArchive({recordingOf({action(1, 0, 0.0f), action(1, 1, 1.0f)}),
                 recordingOf({action(2, 0, 0.0f), action(2, 1, 1.0f)})});
    manager().startPlaybackForRecording(0);
    m_clock->advance(100ms);
    manager().startPlaybackForRecording(1);
    QCOMPARE(m_observer->calls, QStringList{"complete 0"});
    QCOMPARE(manager().playingIndex(), 1);
    m_clock->advance(2s);
    QCOMPARE(m_keys->calls,
             (QStringList{"play 1 @0", "stop 1 @100", "play 2 @100", "stop 2 @1100"}));
}

void TestRecordingsManager::stopCancelsEveryPendingEvent()
{
    loadArchive({recordingOf({action(1, 0, 0.0f), action(2, 0, 0.2f), action(2, 1, 0.4f)})});
    manager().startPlaybackForRecording(0);
    m_clock->advance(100ms);
    manager().stopPlayback();
    manager().stopPlayback();
    m_clock->advance(1s);
    // The press due at 200 ms, handed over ahead, never plays.
    QCOMPARE(m_keys->calls, (QStringList{"play 1 @0", "stop 1 @100"}));
    QCOMPARE(m_observer->calls, QStringList{"complete 0"});

    // Stopping from inside a replayed event ends the playback there.
    struct StopOnPlay : KeysLog
    {
        using KeysLog::KeysLog;
        KPRecordingsManager* manager = nullptr;
        void notePressed(KPNoteSource source, uint32_t note, uint8_t velocity) override
        {
            KeysLog::notePressed(source, note, velocity);
            manager->stopPlayback();
        }
    } stopper(m_performer);
    stopper.manager = &manager();
    m_keys.reset();
    manager().startPlaybackForRecording(0);
    m_clock->advance(1s);
    QCOMPARE(stopper.calls, (QStringList{"play 1 @0", "stop 1 @0"}));
    QVERIFY(!manager().playing());
}

// A key the user holds through the end of a playback sounds on, also one the playback struck too.
void TestRecordingsManager::heldKeySurvivesTheEndOfAPlayback()
{
    loadArchive({recordingOf({action(21, 0, 0.0f), action(14, 0, 0.1f), action(21, 1, 0.2f)})});
    const uint32_t c4 = KPKeyboardLayout::midiIndexForKey(21);
    const uint32_t g4 = KPKeyboardLayout::midiIndexForKey(25);
    manager().startPlaybackForRecording(0);
    m_clock->advance(50ms);
    m_performer.noteOn(KPNoteSource::Touch, c4, 127);
    m_performer.noteOn(KPNoteSource::ComputerKeys, g4, 127);
    m_clock->advance(1s);
    QVERIFY(!manager().playing());
    QVERIFY(!m_performer.isHeld(KPKeyboardLayout::midiIndexForKey(14)));
    QCOMPARE(m_player->sampler().currentNoteGain(int(c4)), 1.0f);
    QCOMPARE(m_player->sampler().currentNoteGain(int(g4)), 1.0f);
    QVERIFY(m_performer.holds(KPNoteSource::Touch, c4));
    m_performer.releaseAll(KPNoteSource::Touch);
    m_performer.releaseAll(KPNoteSource::ComputerKeys);
}

void TestRecordingsManager::deletingFollowsThePlayingRecording()
{
    loadArchive({recordingOf({action(1, 0, 0.0f), action(1, 1, 1.0f)}),
                 recordingOf({action(2, 0, 0.0f), action(2, 1, 1.0f)}),
                 recordingOf({action(3, 0, 0.0f), action(3, 1, 1.0f)})});
    manager().startPlaybackForRecording(2);
    manager().deleteRecording(0);
    QCOMPARE(manager().playingIndex(), 1);
    QVERIFY(manager().playing());
    QVERIFY(manager().recordingsStateChanged());

    manager().deleteRecording(1);
    QCOMPARE(m_observer->calls, QStringList{"complete 1"});
    QVERIFY(!manager().playing());
    QCOMPARE(manager().recordings().size(), 1);
    QCOMPARE(manager().recordings().at(0).actions.at(0).index, 2);
}

void TestRecordingsManager::renamingAndPositionsOutsideTheList()
{
    loadArchive({recordingOf({action(1, 0)})});
    manager().changeNameForRecording(0, QStringLiteral("Etude"));
    QCOMPARE(manager().titleForRecording(0), QStringLiteral("Etude"));
    QVERIFY(manager().recordingsStateChanged());
    manager().changeNameForRecording(0, std::nullopt);
    QVERIFY(!manager().titleForRecording(0));

    manager().changeNameForRecording(1, QStringLiteral("Nowhere"));
    manager().deleteRecording(1);
    QVERIFY(!manager().titleForRecording(1));
    QCOMPARE(manager().recordings().size(), 1);
}

void TestRecordingsManager::savedListReadsBack()
{
    manager().startRecording();
    manager().addRecordingAction(action(40, 0));
    m_clock->advance(1250ms);
    manager().addRecordingAction(action(40, 1));
    manager().stopRecording();
    manager().changeNameForRecording(0, QStringLiteral("First"));
    const QString file = m_folder->filePath(QStringLiteral("recordings"));
    QVERIFY(!QFile::exists(file));
    manager().saveAllRecordings();
    QVERIFY(!manager().recordingsStateChanged());

    // Nothing changed since: nothing is written.
    QVERIFY(QFile::remove(file));
    manager().saveAllRecordings();
    QVERIFY(!QFile::exists(file));

    manager().deleteRecording(0);
    manager().saveAllRecordings();
    QVERIFY(QFile::exists(file));
    m_manager.reset();
    QVERIFY(manager().recordings().isEmpty());
    QVERIFY(!manager().recordingsStateChanged());
}

void TestRecordingsManager::failedWriteKeepsTheChange_data()
{
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("folder is a file") << false;
    QTest::newRow("read-only folder") << true;
}

void TestRecordingsManager::failedWriteKeepsTheChange()
{
    QFETCH(bool, readOnlyFolder);
    if (readOnlyFolder && geteuid() == 0)
        QSKIP("permissions do not bind the super-user");
    const QString folder = m_folder->filePath(QStringLiteral("store"));
    if (readOnlyFolder) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    } else {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    KPRecordingsManager stuck(folder + QStringLiteral("/recordings"), m_player);
    stuck.startRecording();
    stuck.addRecordingAction(action(1, 0));
    stuck.stopRecording();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("KPRecordingsManager: Could not save"));
    stuck.saveAllRecordings();
    QVERIFY(stuck.recordingsStateChanged());
    QVERIFY(!QFile::exists(folder + QStringLiteral("/recordings")));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestRecordingsManager::damagedArchiveIsSetAsideAndKept()
{
    const QString file = m_folder->filePath(QStringLiteral("recordings"));
    const QByteArray damaged("bplist00 not really");
    for (int attempt = 0; attempt < 2; ++attempt) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(damaged);
        out.close();
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression("KPRecordingsManager: Could not read .*moved it to"));
        m_manager.reset();
        QVERIFY(manager().recordings().isEmpty());
        QVERIFY(!QFile::exists(file));
        QVERIFY(manager().archiveProblem().contains(QStringLiteral("kept as ") + file));
    }
    // Two damaged files within the same second both keep their own copy.
    const QStringList aside = QDir(m_folder->path()).entryList({"recordings.unreadable-*"});
    QCOMPARE(aside.size(), 2);
    for (const QString& name : aside) {
        QFile kept(m_folder->filePath(name));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
    }
    manager().startRecording();
    manager().addRecordingAction(action(1, 0));
    manager().stopRecording();
    manager().saveAllRecordings();
    QVERIFY(QFile::exists(file));
}

// The second of three recordings holds an interval that is not a number: the other two are listed,
// the file as it was is copied aside, and the two are saved at once.
void TestRecordingsManager::aDamagedRecordingCostsThatRecordingOnly()
{
    const QString file = m_folder->filePath(QStringLiteral("recordings"));
    QList<KPPianoRecording> three = {recordingOf({action(1, 0, 0.5f)}),
                                     recordingOf({action(2, 0, 1234.5f)}),
                                     recordingOf({action(3, 0, 0.25f)})};
    QByteArray bytes = KPRecordingsArchive::encode(three);
    const QByteArray real("\x22\x44\x9A\x50\x00", 5); // the 32-bit real 1234.5
    QCOMPARE(bytes.count(real), 1);
    bytes[bytes.indexOf(real)] = '\x52'; // now a two-byte string
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("1 of the recordings in .* could not be "
                                                          "read .*interval.*; kept a copy"));
    QCOMPARE(manager().recordings(), (QList<KPPianoRecording>{three[0], three[2]}));
    QCOMPARE(manager().unreadableRecordings(), 1);
    const QStringList aside = QDir(m_folder->path()).entryList({"recordings.unreadable-*"});
    QCOMPARE(aside.size(), 1);
    QVERIFY(manager().archiveProblem().contains(m_folder->filePath(aside.first())));
    QFile kept(m_folder->filePath(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), bytes);
    manager().saveAllRecordings();
    QCOMPARE(KPRecordingsStore(file).load(), (QList<KPPianoRecording>{three[0], three[2]}));
}

// A reader takes archives up to a size: a recording that would make the archive larger is
// refused with the reason, and the list and the file stay as they were.
void TestRecordingsManager::nothingTheReaderWouldRefuseIsWritten()
{
    const QString file = m_folder->filePath(QStringLiteral("recordings"));
    constexpr qint64 kLimit = 64 * 1024;
    KPRecordingsManager small(file, nullptr, nullptr, kLimit);
    QList<KPPianoKeyAction> many;
    for (int i = 0; i < 300; ++i)
        many << action(i % 84, i % 2, float(i));
    QVERIFY(small.addRecording(recordingOf(many)));
    small.saveAllRecordings();
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray written = saved.readAll();
    QVERIFY(written.size() <= KPRecordingsArchive::sizeBound(small.recordings()));

    QSignalSpy refused(&small, &KPRecordingsManager::changeRefused);
    QString error;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("600 key events was not added"));
    QVERIFY(!small.addRecording(recordingOf(many + many), &error));
    QVERIFY2(error.contains(QStringLiteral("more than the 64 KiB")), qPrintable(error));
    QCOMPARE(refused.size(), 1);
    QCOMPARE(small.recordings().size(), 1);
    QVERIFY(!small.recordingsStateChanged());

    // Nor is a list that another way made too large.
    QList<KPPianoRecording> tooMany(10, recordingOf(many));
    KPRecordingsStore store(file, kLimit);
    QVERIFY(!store.save(tooMany, nullptr, &error));
    QVERIFY(error.contains(QStringLiteral("a recordings file may hold")));
    saved.seek(0);
    QCOMPARE(saved.readAll(), written);
}

// A writer killed in the middle leaves its temporary next to the archive; the next start removes
// it, and nothing else.
void TestRecordingsManager::leftoversOfKilledWritesGoAtStart()
{
    const QDir folder(m_folder->path());
    const QStringList kept = {"recordings.lock", "recordings.unreadable-20260101-101010",
                              "recordings.mid", "other.Ab12Cd"};
    for (const QString& name : kept + QStringList{"recordings.Ab12Cd", "recordings.x9Y8z7"}) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("removed .*recordings.Ab12Cd"));
    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("removed .*recordings.x9Y8z7"));
    manager();
    QStringList left = folder.entryList(QDir::Files);
    left.sort();
    QStringList expected = kept;
    expected.sort();
    QCOMPARE(left, expected);
}

void TestRecordingsManager::peekingChangesNothingOnDisk()
{
    const QString file = m_folder->filePath(QStringLiteral("recordings"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("bplist00 damaged");
    out.close();
    QString problem;
    QVERIFY(KPRecordingsStore(file).peek(&problem).isEmpty());
    QVERIFY(problem.contains(QStringLiteral("could not be read")));
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{"recordings"});
}

// Without waiting for the application to leave the front: a crash a second later loses nothing.
void TestRecordingsManager::everyChangeIsSavedWithinASecond()
{
    const QString file = m_folder->filePath(QStringLiteral("recordings"));
    const auto onDisk = [&] {
        return KPRecordingsStore(file).load();
    };
    manager().startRecording();
    manager().addRecordingAction(action(40, 0));
    manager().stopRecording();
    m_clock->advance(999ms);
    QVERIFY(!QFile::exists(file));
    m_clock->advance(1ms);
    QTRY_COMPARE(onDisk().size(), 1);
    struct stat info
    {
    };
    QCOMPARE(::stat(qPrintable(file), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);

    manager().changeNameForRecording(0, QStringLiteral("Named"));
    m_clock->advance(1s);
    QTRY_COMPARE(onDisk().value(0).recordingName, QStringLiteral("Named"));
    manager().deleteRecording(0);
    m_clock->advance(1s);
    QTRY_VERIFY(onDisk().isEmpty());
}

void TestRecordingsManager::aFailedSaveIsToldAndTriedAgain()
{
    const QString folder = m_folder->filePath(QStringLiteral("store"));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    KPRecordingsManager stuck(folder + QStringLiteral("/recordings"), m_player);
    QSignalSpy failed(&stuck, &KPRecordingsManager::saveFailed);
    QSignalSpy recovered(&stuck, &KPRecordingsManager::saveRecovered);
    stuck.startRecording();
    stuck.addRecordingAction(action(1, 0));
    stuck.stopRecording();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not save .*Not a directory"));
    m_clock->advance(1s);
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("Not a directory"));

    QVERIFY(blocker.remove());
    m_clock->advance(KPRecordingsAutosave::kRetryDelay);
    QTRY_COMPARE(recovered.size(), 1);
    QCOMPARE(KPRecordingsStore(folder + QStringLiteral("/recordings")).load().size(), 1);
    QCOMPARE(failed.size(), 1);
}

// A process without a window wrote the file meanwhile: its recording stays, and shows here.
void TestRecordingsManager::recordingsAnotherProcessAddedAreKept()
{
    const QString file = m_folder->filePath(QStringLiteral("recordings"));
    loadArchive({recordingOf({action(2, 0)})});
    const KPPianoRecording theirs = recordingOf({action(4, 0), action(4, 1, 0.5f)}, "Music Box");
    QVERIFY(KPRecordingsStore(file).modify([&](QList<KPPianoRecording>& list) {
        list.prepend(theirs);
        return true;
    }));
    manager().deleteRecording(0);
    manager().saveAllRecordings();
    QCOMPARE(manager().recordings(), QList<KPPianoRecording>{theirs});
    QCOMPARE(KPRecordingsStore(file).load(), QList<KPPianoRecording>{theirs});
    QCOMPARE(m_observer->calls, QStringList{"added 1"});
}

void TestRecordingsManager::aRecordingEndsAtTwentyFourHours()
{
    manager().startRecording();
    manager().addRecordingAction(action(3, 0));
    m_clock->advance(24h);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("reached 24 hours"));
    manager().addRecordingAction(action(3, 1));
    QVERIFY(!manager().recording());
    QCOMPARE(manager().recordings().first().actions.size(), 1);
}

QTEST_MAIN(TestRecordingsManager)
#include "tst_recordingsmanager.moc"
