#include "app/KPCommandLine.h"
#include "app/KPRecordingsExchange.h"
#include "app/KPRecordingsNotices.h"
#include "app/KPSingleInstance.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "exchange/KPRecordingMidi.h"
#include "platform/KPLocalization.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPRecordingsManager.h"
#include "recordings/KPRecordingsStore.h"
#include "ui/KPTableView.h"

#include "KPLogCapture.h"
#include "KPTestClock.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

using namespace std::chrono_literals;
using Claim = KPSingleInstance::Claim;

namespace {

KPPianoRecording twoNotes()
{
    KPPianoRecording recording;
    recording.soundBankName = QStringLiteral("Music Box");
    recording.recordingDate = QDateTime::currentDateTime();
    recording.actions = {{21, KPRecordedKeyState::Pressed, 0.0f},
                         {21, KPRecordedKeyState::Released, 0.2f},
                         {25, KPRecordedKeyState::Pressed, 0.3f},
                         {25, KPRecordedKeyState::Released, 0.5f}};
    return recording;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString writeSong(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    writeFile(path, KPRecordingMidi::toMidi(twoNotes()));
    return path;
}

// The lines of the recordings notice shown in `window`.
QString notice(const QWidget& window)
{
    const auto* bar = window.findChild<QLabel*>(QStringLiteral("recordingsNotice"));
    return bar && !bar->isHidden() ? bar->text() : QString();
}

// What a process killed while listening leaves: a socket file nobody accepts on.
bool leaveDeadSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, qPrintable(path), sizeof address.sun_path - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

class TestRecordingsExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { KPLocalization::install(QLocale(QLocale::English)); }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_archive = m_dir.filePath(QStringLiteral("recordings"));
        m_name = m_dir.filePath(QStringLiteral("instance"));
        QFile::remove(m_archive);
        m_manager = std::make_unique<KPRecordingsManager>(m_archive);
        m_window = std::make_unique<QWidget>();
        m_exchange = std::make_unique<KPRecordingsExchange>(*m_manager, m_window.get());
    }

    void importedFileTopsTheListAndABrokenOneChangesNothing()
    {
        const QString song = m_dir.filePath(QStringLiteral("Song.mid"));
        writeFile(song, KPRecordingMidi::toMidi(twoNotes()));
        QVERIFY(m_exchange->importFile(song));
        QCOMPARE(m_manager->recordings().size(), 1);
        QCOMPARE(m_manager->titleForRecording(0), QStringLiteral("Song"));
        QCOMPARE(m_manager->recordings()[0].soundBankName, QStringLiteral("Music Box"));

        const QString broken = m_dir.filePath(QStringLiteral("Broken.mid"));
        writeFile(broken, "MThd\0\0\0\x06");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not imported"));
        QVERIFY(!m_exchange->importFile(broken));
        QCOMPARE(m_manager->recordings().size(), 1);
        const auto* told = m_window->findChild<QMessageBox*>();
        QVERIFY(told && told->text().contains(QLatin1String("Broken.mid")));
        QCOMPARE(told->icon(), QMessageBox::Warning);
    }

    void audioRendersInTheBackgroundOneAtATime()
    {
        m_manager->addRecording(twoNotes());
        QSignalSpy finished(m_exchange.get(), &KPRecordingsExchange::audioExportFinished);
        const QString path = m_dir.filePath(QStringLiteral("out.flac"));
        QVERIFY(m_exchange->startAudioExport(0, path));
        QVERIFY(!m_exchange->startAudioExport(0, m_dir.filePath(QStringLiteral("again.wav"))));
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().at(1).toBool(), true);
        QVERIFY(QFileInfo(path).size() > 1000);
        QVERIFY(!m_exchange->isExporting());
    }

    void midiFilesDroppedOnTheWindowAreTold()
    {
        KPWindow window(QSize(480, 320));
        QSignalSpy dropped(&window, &KPWindow::midiFilesDropped);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.MID")),
                      QUrl::fromLocalFile(QStringLiteral("/tmp/b.wav"))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(window.viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.viewport(), &drop);
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(dropped.first().first().toStringList(), QStringList{"/tmp/a.MID"});
    }

    void playlistMenuAsksForExportsAndImport()
    {
        m_manager->addRecording(twoNotes());
        KPPlaylistView playlist(*m_manager);
        QSignalSpy midi(&playlist, &KPPlaylistView::exportAsMidiRequested);
        playlist.show();
        QVERIFY(QTest::qWaitForWindowExposed(&playlist));
        // A right click on the row's name field opens the row's menu.
        auto* field = playlist.tableView()->findChild<QLineEdit*>();
        QVERIFY(field);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                                field->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(field, &click);
        auto* menu = playlist.findChild<QMenu*>();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 4); // two exports, a separator, the import
        menu->actions().first()->trigger();
        QCOMPARE(midi.size(), 1);
        QCOMPARE(midi.first().first().toUInt(), 0u);
    }

    void aLaunchHandsItsFilesToTheRunningWindow()
    {
        KPSingleInstance first(m_name);
        QCOMPARE(first.claim({}), Claim::Owner);
        first.serve(*m_exchange, *m_manager, m_window.get());
        writeSong(m_dir, QStringLiteral("Song.mid"));
        const QString broken = m_dir.filePath(QStringLiteral("Broken.mid"));
        QVERIFY(QFile(broken).open(QIODevice::WriteOnly));

        // Relative to the launch's own folder.
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Broken.mid not imported"));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("another launch handed over 2 files"));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("already running.*1 imported.*--idiom "
                                                           "phone is for a new window"));
        QCOMPARE(KPSingleInstance(m_name).claim({"Song.mid", broken}, "phone"), Claim::HandedOver);
        QCOMPARE(m_manager->recordings().size(), 1);
        QCOMPARE(m_manager->titleForRecording(0), QStringLiteral("Song"));
        QCOMPARE(KPRecordingsManager(m_archive).recordings().size(), 1);
        QVERIFY(m_window->isVisible());
    }

    void aSocketLeftByACrashIsTakenOver()
    {
        QVERIFY(leaveDeadSocket(m_name));
        KPSingleInstance first(m_name);
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("taking over .*instance"));
        QCOMPARE(first.claim({}), Claim::Owner);
        first.serve(*m_exchange, *m_manager, m_window.get());
        QCOMPARE(KPSingleInstance(m_name).claim({writeSong(m_dir, "Song.mid")}), Claim::HandedOver);
        QCOMPARE(m_manager->recordings().size(), 1);
    }

    void anInstanceThatNeverAnswersIsLeftAlone()
    {
        QLocalServer silent;
        QVERIFY(silent.listen(m_name));
        KPTestClock clock;
        QTimer::singleShot(0, [&] { clock.advance(2s); });
        QTest::ignoreMessage(QtWarningMsg, "KPSingleInstance: the running Touch Piano did not "
                                           "answer within 2000 ms; going on alone");
        QCOMPARE(KPSingleInstance(m_name, 2s).claim({}), Claim::Alone);
    }

    // A window that holds the archive but does not answer: no second window opens on it.
    void noSecondWindowOnTheSameArchive()
    {
        KPTestClock clock;
        KPSingleInstance stuck(m_name, 2s);
        QCOMPARE(stuck.claim({}), Claim::Owner);
        QTimer::singleShot(0, [&] { clock.advance(2s); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("did not answer within 2000 ms"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no second window opens"));
        QCOMPARE(KPSingleInstance(m_name, 2s).claim({}), Claim::Refused);
    }

    void badRequestsAreRefusedAndServingGoesOn()
    {
        KPTestClock clock;
        KPSingleInstance first(m_name, 2s);
        QCOMPARE(first.claim({}), Claim::Owner);
        first.serve(*m_exchange, *m_manager, m_window.get());
        const auto refused = [&](const QByteArray& bytes, bool advance) {
            QLocalSocket socket;
            QSignalSpy closed(&socket, &QLocalSocket::disconnected);
            socket.connectToServer(m_name);
            socket.write(bytes);
            socket.flush();
            // Time moves on while the window serves, however late it takes the connection.
            QTimer ticks;
            connect(&ticks, &QTimer::timeout, [&] { clock.advance(2s); });
            if (advance)
                ticks.start(0);
            return closed.wait(5000) && socket.readAll().isEmpty();
        };
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a JSON object"));
        QVERIFY(refused("{\"files\": [\n", false));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("longer than 1048576 bytes"));
        QVERIFY(refused(QByteArray(KPSingleInstance::kMaxMessageBytes + 1, '['), false));
        // One that opens and says nothing is let go after the timeout.
        QVERIFY(refused("{", true));
        QCOMPARE(KPSingleInstance(m_name).claim({writeSong(m_dir, "Song.mid")}), Claim::HandedOver);
        QCOMPARE(m_manager->recordings().size(), 1);
    }

    // The command line's --import goes to the running window: the recording is in its list
    // once, saved once, and --list, run next, sees it with the window's unsaved one.
    void commandLineImportGoesThroughTheRunningWindow()
    {
        const QString data = m_dir.filePath(QStringLiteral("data"));
        const QString archive = QDir(data + QStringLiteral("/touchpiano")).filePath("recordings");
        QVERIFY(QDir().mkpath(QFileInfo(archive).path()));
        KPRecordingsManager manager(archive);
        KPRecordingsExchange exchange(manager, m_window.get());
        KPSingleInstance owner(KPSingleInstance::nameFor(archive));
        QCOMPARE(owner.claim({}), Claim::Owner);
        owner.serve(exchange, manager, m_window.get());
        manager.addRecording(twoNotes());

        const auto run = [&](const QStringList& arguments) {
            auto program = std::make_unique<QProcess>();
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
            program->setProcessEnvironment(environment);
            QSignalSpy finished(program.get(), &QProcess::finished);
            program->start(QStringLiteral(KP_PROGRAM), arguments);
            finished.wait(20000);
            return program;
        };
        const auto import = run({"--import", writeSong(m_dir, "Song.mid")});
        QCOMPARE(import->exitCode(), 0);
        QVERIFY(import->readAllStandardOutput().startsWith("Imported \"Song\""));
        QCOMPARE(manager.recordings().size(), 2);
        QCOMPARE(manager.titleForRecording(0), QStringLiteral("Song"));
        QCOMPARE(KPRecordingsManager(archive).recordings().size(), 2);

        const auto list = run({"--list"});
        QCOMPARE(list->exitCode(), 0);
        QCOMPARE(list->readAllStandardOutput().count('\n'), 2);
    }

    // The window could not save a handed import: it says so, with the system's reason, and keeps
    // nothing that a retry would then duplicate.
    void aHandedImportThatCannotBeSavedIsTakenBack()
    {
        QFile blocker(m_dir.filePath(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        KPRecordingsManager manager(blocker.fileName() + QStringLiteral("/recordings"));
        KPRecordingsExchange exchange(manager, m_window.get());
        KPSingleInstance owner(m_name);
        QCOMPARE(owner.claim({}), Claim::Owner);
        owner.serve(exchange, manager, m_window.get());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not save"));
        const auto reply = KPSingleInstance(m_name).ask({writeSong(m_dir, "Song.mid")}, false);
        QCOMPARE(reply.outcome, KPSingleInstance::Outcome::Answered);
        QCOMPARE(reply.imported, QList<bool>{false});
        QCOMPARE(reply.error, QStringLiteral("Not a directory"));
        QVERIFY(manager.recordings().isEmpty());
    }

    void theWindowTellsWhatHappenedToTheFile()
    {
        writeFile(m_archive, "bplist00 damaged");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not read"));
        KPRecordingsManager damaged(m_archive);
        KPRecordingsNotices notices(damaged, m_window.get());
        QVERIFY(
            notice(*m_window).contains(QStringLiteral("kept as ") + m_archive + ".unreadable-"));
    }

    // Saving fails while the user plays: the notice is a line in the window, told once however
    // often the save is tried again, and the keys go on playing under it.
    void theSavingNoticeLeavesTheKeysPlayable()
    {
        QWidget window;
        auto* keys = new QLineEdit(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        keys->setFocus();
        QFile blocker(m_dir.filePath(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        KPRecordingsManager stuck(blocker.fileName() + QStringLiteral("/recordings"));
        KPRecordingsNotices saving(stuck, &window);
        stuck.addRecording(twoNotes());
        for (int retry = 0; retry < 3; ++retry) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Could not save"));
            stuck.saveAllRecordings();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C);
        }
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(QApplication::focusWidget(), keys);
        QCOMPARE(keys->text(), QStringLiteral("ccc"));
        QVERIFY(notice(window).contains(QStringLiteral("could not be saved: Not a directory")));
        QCOMPARE(window.findChildren<QLabel*>(QStringLiteral("recordingsNotice")).size(), 1);
        QVERIFY(window.findChildren<QMessageBox*>().isEmpty());
    }

    // Forty files that are not MIDI, handed over in several requests, make one summary.
    void oneSummaryForManyBadFiles()
    {
        KPSingleInstance owner(m_name);
        QCOMPARE(owner.claim({}), Claim::Owner);
        owner.serve(*m_exchange, *m_manager, m_window.get());
        QStringList files;
        for (int i = 0; i < 40; ++i) {
            files << m_dir.filePath(QStringLiteral("noise%1.mid").arg(i));
            writeFile(files.last(), "RIFF not a MIDI file");
        }
        KPLogCapture log;
        KPSingleInstance launch(m_name);
        QCOMPARE(launch.claim(files), Claim::HandedOver);
        QCOMPARE(launch.notImported(), 40);
        const auto boxes = m_window->findChildren<QMessageBox*>();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first()->icon(), QMessageBox::Warning);
        QVERIFY(boxes.first()->text().startsWith(QStringLiteral("0 of 40 files were imported.")));
        QVERIFY(boxes.first()->text().endsWith(QStringLiteral("… and 32 more.")));
        QCOMPARE(log.lines(QStringLiteral("KPSingleInstance: another launch")).size(), 3);
    }

    // A window that takes no request while a launch gives up waiting and imports by itself: when
    // it catches up, every take is in its list and in the file once, whether or not it took in
    // the launch's own write first.
    void aWindowAnsweringLateImportsEachTakeOnce_data()
    {
        QTest::addColumn<bool>("savedMeanwhile");
        QTest::newRow("requests first") << false;
        QTest::newRow("the launch's write taken in first") << true;
    }

    void aWindowAnsweringLateImportsEachTakeOnce()
    {
        QFETCH(bool, savedMeanwhile);
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME",
                m_dir.filePath(QStringLiteral("late%1").arg(savedMeanwhile)).toUtf8());
        const QString archive = KPRecordingsManager::recordingsDataFile();
        KPRecordingsManager manager(archive);
        KPRecordingsExchange exchange(manager, m_window.get());
        KPSingleInstance window(KPSingleInstance::defaultName(), 2s);
        QCOMPARE(window.claim({}), Claim::Owner);

        const QStringList songs = {writeSong(m_dir, "A.mid"), writeSong(m_dir, "B.mid")};
        KPTestClock clock;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, [&] { clock.advance(1s); });
        ticks.start(0);
        KPLogCapture log;
        KPSingleInstance launch(KPSingleInstance::defaultName(), 2s);
        QCOMPARE(launch.claim(songs), Claim::Refused);
        FILE* sink = std::tmpfile();
        QCOMPARE(KPCommandLine::importFiles(songs, sink, sink, launch.claimedDates()), 0);
        std::fclose(sink);
        ticks.stop();
        QCOMPARE(KPRecordingsStore(archive).load().size(), 2);
        if (savedMeanwhile) {
            manager.addRecording(twoNotes());
            manager.saveAllRecordings();
        }

        window.serve(exchange, manager, m_window.get());
        QTRY_COMPARE(log.lines(QStringLiteral("KPSingleInstance: another launch")).size(), 2);
        manager.saveAllRecordings();
        const qsizetype takes = savedMeanwhile ? 3 : 2;
        QCOMPARE(manager.recordings().size(), takes);
        QCOMPARE(KPRecordingsStore(archive).load().size(), takes);
        qputenv("XDG_DATA_HOME", dataHome);
    }

    // The bad file of a launch is not imported: the launch says so by its exit status.
    void aHandedFileThatIsNotImportedFailsTheLaunch()
    {
        KPSingleInstance owner(m_name);
        QCOMPARE(owner.claim({}), Claim::Owner);
        owner.serve(*m_exchange, *m_manager, m_window.get());
        const QString noise = m_dir.filePath(QStringLiteral("random.mid"));
        writeFile(noise, "\x12\x99 random bytes");
        KPSingleInstance launch(m_name);
        QCOMPARE(launch.claim({noise, writeSong(m_dir, "Song.mid")}), Claim::HandedOver);
        QCOMPARE(launch.notImported(), 1);
    }

private:
    QTemporaryDir m_dir;
    QString m_archive;
    QString m_name;
    std::unique_ptr<KPRecordingsManager> m_manager;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<KPRecordingsExchange> m_exchange;
};

QTEST_MAIN(TestRecordingsExchange)
#include "tst_recordingsexchange.moc"
