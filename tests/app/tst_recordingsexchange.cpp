#include "app/KPRecordingsExchange.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "exchange/KPRecordingMidi.h"
#include "platform/KPLocalization.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPRecordingsManager.h"
#include "ui/KPTableView.h"

#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class TestRecordingsExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { KPLocalization::install(QLocale(QLocale::English)); }

    void init()
    {
        QVERIFY(m_dir.isValid());
        m_manager =
            std::make_unique<KPRecordingsManager>(m_dir.filePath(QStringLiteral("recordings")));
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

private:
    QTemporaryDir m_dir;
    std::unique_ptr<KPRecordingsManager> m_manager;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<KPRecordingsExchange> m_exchange;
};

QTEST_MAIN(TestRecordingsExchange)
#include "tst_recordingsexchange.moc"
