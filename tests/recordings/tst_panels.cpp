#include "audio/KPSoundPlayer.h"
#include "KPAudioTestRig.h"
#include "KPTestClock.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPPlaylistViewCell.h"
#include "recordings/KPRecordingsManager.h"
#include "recordings/KPRecordingSummary.h"
#include "ui/KPTableView.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace std::chrono_literals;

// The playlist panel on a manager of its own, offscreen.
class TestPanels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void hintUntilTheFirstRecordingThenNewestOnTop();
    void rowsShowPlayOrPause();
    void namesAreTrimmedAndEmptyMeansNone();
    void deletingEndsTheEditUnderTheRightRecording();
    void aNewRecordingEndsTheEditUnderTheRightRecording();
    void rowsTellWhenWhatAndHowLong();
    void notesPictureDrawsPitchAgainstTime();
    void titleNamesThePanelAndOffersNoMenu();
    void keyboardScrollsOnlyTheRowBeingNamed();

private:
    void record(int key);
    KPPlaylistViewCell* row(int position) const;
    bool showsPause(int position) const;

    KPAudioTest::AudioRig m_rig = KPAudioTest::AudioRig::withPlayer();
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<KPTestClock> m_clock;
    std::unique_ptr<KPRecordingsManager> m_manager;
    std::unique_ptr<QWidget> m_screen;
    KPPlaylistView* m_panel = nullptr;
};

void TestPanels::initTestCase()
{
    KPLocalization::install(QLocale(QLocale::English));
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
}

void TestPanels::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_clock = std::make_unique<KPTestClock>();
    m_manager = std::make_unique<KPRecordingsManager>(
        m_folder->filePath(QStringLiteral("recordings")), &m_rig.player());
    m_screen = std::make_unique<QWidget>();
    m_screen->resize(480, 320);
    m_panel = new KPPlaylistView(*m_manager, m_screen.get());
    m_panel->move(8, 48);
    m_screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_screen.get()));
}

void TestPanels::cleanup()
{
    m_screen.reset();
    m_manager.reset();
    m_clock.reset();
}

void TestPanels::record(int key)
{
    m_manager->startRecording();
    m_manager->addRecordingAction({key, KPRecordedKeyState::Pressed, 0});
    m_clock->advance(100ms);
    m_manager->addRecordingAction({key, KPRecordedKeyState::Released, 0});
    m_manager->stopRecording();
}

KPPlaylistViewCell* TestPanels::row(int position) const
{
    return qobject_cast<KPPlaylistViewCell*>(m_panel->tableView()->cellForRowAtIndexPath(position));
}

bool TestPanels::showsPause(int position) const
{
    const KPPlaylistViewCell* cell = row(position);
    return cell->editingAccessoryView() == cell->pauseButtonView() &&
           cell->pauseButtonView()->isVisible() && !cell->playButtonView()->isVisible();
}

void TestPanels::hintUntilTheFirstRecordingThenNewestOnTop()
{
    QVERIFY(m_panel->emptyView()->isVisible());
    QVERIFY(!m_panel->tableView()->isVisible());
    const auto texts = m_panel->emptyView()->findChildren<QLabel*>();
    const auto hint = std::find_if(texts.begin(), texts.end(), [](const QLabel* label) {
        return label->text() == KPLocalization::string("NORECORD") && !label->text().isEmpty();
    });
    QVERIFY(hint != texts.end());
    // Wrapped inside the hint view, not cut off at its right edge.
    QVERIFY(m_panel->emptyView()->rect().contains((*hint)->geometry()));

    record(21);
    QVERIFY(!m_panel->emptyView()->isVisible());
    QVERIFY(m_panel->tableView()->isVisible());
    QCOMPARE(row(0)->title()->text(), QString());
    QCOMPARE(row(0)->title()->placeholderText(), QStringLiteral("Click or tap to name"));
    m_manager->changeNameForRecording(0, QStringLiteral("Older"));
    record(22);
    QCOMPARE(row(0)->title()->text(), QString());
    QCOMPARE(row(1)->title()->text(), QStringLiteral("Older"));
}

void TestPanels::rowsShowPlayOrPause()
{
    record(21);
    record(22);
    QTest::mouseClick(row(0), Qt::LeftButton, {}, QPoint(row(0)->width() - 20, 10));
    QCOMPARE(m_manager->playingIndex(), 0);
    QVERIFY(showsPause(0));
    QVERIFY(!showsPause(1));

    QTest::mouseClick(row(1), Qt::LeftButton, {}, QPoint(row(1)->width() - 20, 10));
    QCOMPARE(m_manager->playingIndex(), 1);
    QVERIFY(!showsPause(0));
    QVERIFY(showsPause(1));

    // Touching the row that plays stops it; touching it again plays from the start, and a
    // playback that ends by itself brings the play image back.
    QTest::mouseClick(row(1), Qt::LeftButton, {}, QPoint(row(1)->width() - 20, 10));
    QVERIFY(!m_manager->playing());
    QVERIFY(!showsPause(1));
    QTest::mouseClick(row(1), Qt::LeftButton, {}, QPoint(row(1)->width() - 20, 10));
    QVERIFY(showsPause(1));
    m_clock->advance(1s);
    QVERIFY(!m_manager->playing());
    QVERIFY(!showsPause(1));
}

void TestPanels::namesAreTrimmedAndEmptyMeansNone()
{
    record(21);
    QLineEdit* title = row(0)->title();
    m_panel->textFieldDidBeginEditing(title);
    title->setText(QStringLiteral("  Moonlight \t\n"));
    QVERIFY(m_panel->textFieldShouldReturn(title));
    QCOMPARE(m_manager->titleForRecording(0), QStringLiteral("Moonlight"));
    QCOMPARE(m_panel->activeCellIndex(), -1);

    m_panel->textFieldDidBeginEditing(title);
    title->setText(QStringLiteral("   "));
    m_panel->close();
    QVERIFY(!m_manager->titleForRecording(0));
    m_panel->tableView()->reloadData();
    QCOMPARE(row(0)->title()->text(), QString());
    QCOMPARE(row(0)->title()->placeholderText(), QStringLiteral("Click or tap to name"));

    // A long name (an imported file's) shows whole and is kept whole when edited.
    const QString longName(250, QLatin1Char('n'));
    m_manager->changeNameForRecording(0, longName);
    m_panel->tableView()->reloadData();
    m_panel->textFieldDidBeginEditing(row(0)->title());
    m_panel->close();
    QCOMPARE(m_manager->titleForRecording(0), longName);
}

void TestPanels::deletingEndsTheEditUnderTheRightRecording()
{
    record(21);
    record(22);
    record(23);
    QLineEdit* title = row(2)->title();
    m_panel->textFieldDidBeginEditing(title);
    title->setText(QStringLiteral("Key 21"));

    KPPlaylistViewCell* first = row(0);
    auto* control = first->findChild<QToolButton*>(QStringLiteral("deleteControl"));
    QVERIFY(control && control->isVisible());
    QTest::mouseClick(control, Qt::LeftButton);
    auto* confirm = first->findChild<QToolButton*>(QStringLiteral("deleteConfirmation"));
    QVERIFY(confirm->isVisible());
    QTest::mouseClick(confirm, Qt::LeftButton);

    QCOMPARE(m_manager->recordings().size(), 2);
    QCOMPARE(m_manager->titleForRecording(1), QStringLiteral("Key 21"));
    QCOMPARE(m_manager->recordings().at(1).actions.at(0).index, 21);
    QVERIFY(!m_panel->activeTextField());

    for (int left = 2; left > 0; --left)
        m_panel->commitEditingStyle(m_panel->tableView(), 0);
    QVERIFY(m_manager->recordings().isEmpty());
    QVERIFY(m_panel->emptyView()->isVisible());
    QVERIFY(!m_panel->tableView()->isVisible());
}

// An import or a new take arrives while a name is typed: the name goes to the take it was typed
// for, now second in the list.
void TestPanels::aNewRecordingEndsTheEditUnderTheRightRecording()
{
    record(21);
    QLineEdit* title = row(0)->title();
    m_panel->textFieldDidBeginEditing(title);
    title->setText(QStringLiteral("First take"));
    record(22);
    QVERIFY(!m_panel->activeTextField());
    QCOMPARE(m_manager->titleForRecording(1), QStringLiteral("First take"));
    QVERIFY(!m_manager->titleForRecording(0));
    QCOMPARE(row(1)->title()->text(), QStringLiteral("First take"));
}

void TestPanels::rowsTellWhenWhatAndHowLong()
{
    m_manager->addRecording(
        {{{21, KPRecordedKeyState::Pressed, 0}, {21, KPRecordedKeyState::Released, 64.2f}},
         QStringLiteral("Banjo"),
         QDateTime(QDate(2026, 3, 4), QTime(5, 6)),
         std::nullopt});
    QCOMPARE(row(0)->details()->text(), QStringLiteral("2026-03-04 05:06 · Banjo · 1:05"));
    QVERIFY(row(0)->details()->isVisible());
    // The designed row height stays.
    QCOMPARE(row(0)->height(), 46);
}

// C3 then, while it sounds, E3 until the end: the higher note drawn above and to the right.
void TestPanels::notesPictureDrawsPitchAgainstTime()
{
    const KPPianoRecording recording{{{14, KPRecordedKeyState::Pressed, 0},
                                      {16, KPRecordedKeyState::Pressed, 1},
                                      {14, KPRecordedKeyState::Released, 2},
                                      {99, KPRecordedKeyState::Pressed, 3},
                                      {16, KPRecordedKeyState::Released, 4}},
                                     QString(),
                                     QDateTime(),
                                     std::nullopt};
    const QList<QRectF> bars = KPRecordingSummary::noteBars(recording);
    QCOMPARE(bars.size(), 2);
    // Four semitones from C3 to E3: five rows, E3 on the top one, C3 on the bottom one.
    QCOMPARE(bars[0], QRectF(0, 0.8, 0.5, 0.2));
    QCOMPARE(bars[1], QRectF(0.25, 0, 0.75, 0.2));
    QVERIFY(KPRecordingSummary::noteBars({}).isEmpty());
    // One note alone: a bar in the middle, not the whole picture.
    const KPPianoRecording one{
        {{14, KPRecordedKeyState::Pressed, 0}, {14, KPRecordedKeyState::Released, 1}},
        QString(),
        QDateTime(),
        std::nullopt};
    QCOMPARE(KPRecordingSummary::noteBars(one), QList<QRectF>{QRectF(0, 0.4, 1, 0.2)});
}

// A right click on the panel's title offers nothing; one on the list offers the list's menu.
void TestPanels::titleNamesThePanelAndOffersNoMenu()
{
    auto* title = m_panel->findChild<QLabel*>(QStringLiteral("panelTitle"));
    QVERIFY(title && title->isVisible());
    QCOMPARE(title->text(), QStringLiteral("Recordings"));
    const auto rightClick = [this](QPoint at) {
        QContextMenuEvent asked(QContextMenuEvent::Mouse, at, m_panel->mapToGlobal(at));
        QApplication::sendEvent(m_panel, &asked);
        return m_panel->findChild<QMenu*>();
    };
    QVERIFY(!rightClick(title->geometry().center()));
    QMenu* menu = rightClick(m_panel->tableView()->geometry().center());
    QVERIFY(menu);
    menu->close();
}

void TestPanels::keyboardScrollsOnlyTheRowBeingNamed()
{
    for (int key = 0; key < 8; ++key)
        record(key);
    KPTableView* table = m_panel->tableView();
    const int height = table->height();
    // A keyboard over the lower 150 points of the 320-point screen.
    const QRectF keyboard(0, 170, 480, 150);

    m_panel->keyboardWillShow(keyboard, 0.0);
    m_panel->keyboardDidShow();
    QCOMPARE(table->contentOffset(), 0);
    m_panel->keyboardWillHide();
    QTRY_COMPARE(table->height(), height);

    // Row 3 lies at 48 + 23 + 3 * 46 = 209 to 255 on the screen; the keyboard leaves the
    // table down to 170: the row's bottom comes to 170.
    m_panel->textFieldDidBeginEditing(row(3)->title());
    m_panel->keyboardWillShow(keyboard, 0.0);
    m_panel->keyboardDidShow();
    QTRY_COMPARE(table->contentOffset(), 255 - 170);
    QCOMPARE(table->height(), 170 - (48 + 23));
    QVERIFY(row(3)->isVisible());

    m_panel->keyboardWillHide();
    QCOMPARE(table->contentOffset(), 0);
    QTRY_COMPARE(table->height(), height);
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
