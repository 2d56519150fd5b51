#include "app/KPAppDelegate.h"
#include "app/KPDesktopInputs.h"
#include "app/KPDesktopManners.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "audio/KPAudioDevice.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPSoundPlayer.h"
#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysView.h"
#include "KPAudioTestRig.h"
#include "performer/KPNotePerformer.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPPlaylistViewCell.h"
#include "recordings/KPRecordingsManager.h"
#include "screen/KPMetronome.h"
#include "screen/KPPianoView.h"
#include "ui/KPButton.h"
#include "ui/KPTableView.h"

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPointingDevice>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <functional>
#include <optional>

using namespace KPAudioTest;
using Clock = std::chrono::steady_clock;

#ifndef KP_ONSET_TOLERANCE
#define KP_ONSET_TOLERANCE 0.005
#endif
// How far a heard note may lie from its recorded time, in seconds.
constexpr double kOnsetTolerance = KP_ONSET_TOLERANCE;

namespace {

int playingVoices(KPSoundPlayer& player)
{
    return player.sampler().playingVoiceCount();
}

double frequencyOf(uint32_t midi)
{
    return 440.0 * std::pow(2.0, (int(midi) - 69) / 12.0);
}

} // namespace

// Playing the shown window with touches, listening to what comes out.
class TestPlaying : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void touchedKeySoundsItsNote();
    void slideSoundsEachKeyInTurnAndFadesTheOnesLeft();
    void liftingEveryFingerSilencesEverything();
    void computerKeysPlayFromTheLeftmostC_data();
    void computerKeysPlayFromTheLeftmostC();
    void toolbarKeysAreNamedAndWork();
    void recordingPlaysBackAsRecorded();
    void sustainButtonHoldsAReleasedNoteAndTheReleaseIsRecordedWhenItLifts();
    void rowTakesItsNameAndItsMenuThroughTheWindow();
    void anOpenMenuTakesTheKeysAndGoesWithItsPanel();
    void desktopMenuOffersAboutHelpPreferencesAndQuit();
    void keysPlayAgainOnceTheNameIsDone_data();
    void keysPlayAgainOnceTheNameIsDone();
    void windowOfAnySizeShowsTheScreenAndTakesInputWhereDrawn_data();
    void windowOfAnySizeShowsTheScreenAndTakesInputWhereDrawn();

private:
    QPoint pointOnKey(uint32_t key) const;
    void clickIntoNewTakesName(KPPlaylistViewCell*& row, std::optional<QString> name);
    std::vector<float> listen(double seconds) const;

    QTemporaryDir m_home;
    std::unique_ptr<KPUserDefaults> m_defaults;
    // Made as main makes them; they outlive the window.
    std::optional<KPSoundPlayer> m_player;
    std::optional<KPNotePerformer> m_performer;
    std::optional<KPRecordingsManager> m_recordings;
    std::unique_ptr<KPAppDelegate> m_delegate;
    AudioRig m_speaker;
    KPPianoView* m_piano = nullptr;
    std::unique_ptr<QPointingDevice> m_touchScreen;
};

void TestPlaying::initTestCase()
{
    KPAudioDevice::setDefaultOpener(m_speaker.opener());
    m_player.emplace();
    QVERIFY(m_speaker.device());

    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
    m_defaults = std::make_unique<KPUserDefaults>(std::make_unique<QSettings>(
        m_home.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat));
    m_recordings.emplace(m_home.filePath(QStringLiteral("recordings")), &*m_player);
    m_delegate = std::make_unique<KPAppDelegate>(*m_defaults);
    m_delegate->setRecordingsManager(&*m_recordings);
    m_delegate->setSoundPlayer(&*m_player);
    m_delegate->didFinishLaunching();
    QVERIFY(QTest::qWaitForWindowExposed(m_delegate->window()));
    m_piano = m_delegate->window()->rootView()->findChild<KPPianoView*>();
    QVERIFY(m_piano);
    m_performer.emplace(*m_player);
    m_piano->setPerformer(&*m_performer);
    m_recordings->setPerformer(&*m_performer);
    m_touchScreen.reset(QTest::createTouchDevice());
}

void TestPlaying::cleanupTestCase()
{
    m_recordings->setPerformer(nullptr);
    m_delegate.reset();
}

void TestPlaying::init()
{
    // Whatever sounded before has ended, and a panel closed before has slid away.
    listen(0.7);
    QCOMPARE(playingVoices(*m_player), 0);
    QTRY_VERIFY(m_piano->findChildren<QAbstractAnimation*>().isEmpty());
}

// Low on a white key, below the black keys, in window coordinates.
QPoint TestPlaying::pointOnKey(uint32_t key) const
{
    const KPPianoKey* pianoKey = m_piano->keysView()->keyCollection()[qsizetype(key)];
    return m_delegate->window()
        ->mapFromView(pianoKey, QPoint(pianoKey->width() / 2, pianoKey->height() - 40))
        .toPoint();
}

std::vector<float> TestPlaying::listen(double seconds) const
{
    return m_speaker.render(seconds);
}

void TestPlaying::touchedKeySoundsItsNote()
{
    const uint32_t c4 = 21;
    QWidget* window = m_delegate->window();
    QTest::touchEvent(window, m_touchScreen.get()).press(0, pointOnKey(c4), window);
    const std::vector<float> heard = listen(0.3);
    QTest::touchEvent(window, m_touchScreen.get()).release(0, pointOnKey(c4), window);

    // A sampled piano's partials are slightly stretched: the note is told by its fundamental,
    // far closer to C4 than to either neighbour (100 cents away).
    const double pitch =
        fundamentalPartial(heard, m_speaker.device()->sampleRate(), frequencyOf(60), 4410);
    QVERIFY2(std::abs(cents(pitch, frequencyOf(60))) < 20, qPrintable(QString::number(pitch)));
    QVERIFY(level(heard, 0) > 0.01);
}

void TestPlaying::slideSoundsEachKeyInTurnAndFadesTheOnesLeft()
{
    QWidget* window = m_delegate->window();
    KPSampler& sampler = m_player->sampler();
    const int rate = m_speaker.device()->sampleRate();
    const uint32_t keys[] = {21, 22, 23}; // C4, D4, E4
    const uint32_t notes[] = {60, 62, 64};

    auto slide = QTest::touchEvent(window, m_touchScreen.get(), false);
    for (int step = 0; step < 3; ++step) {
        const double before = amplitudeAt(listen(0.05), rate, frequencyOf(notes[step]));
        if (step == 0)
            slide.press(0, pointOnKey(keys[0]), window);
        else
            slide.move(0, pointOnKey(keys[step]), window);
        slide.commit();
        const std::vector<float> heard = listen(0.15);
        const double now = amplitudeAt(heard, rate, frequencyOf(notes[step]), 2205);
        QVERIFY2(now > 4 * before + 1e-3,
                 qPrintable(QStringLiteral("step %1: %2 after %3").arg(step).arg(now).arg(before)));
        QCOMPARE(sampler.currentNoteGain(int(notes[step])), 1.0f);
        if (step > 0) {
            // The key left is fading: its first step came at once, since it was held 0.1 s.
            QVERIFY(sampler.currentNoteGain(int(notes[step - 1])) < 1.0f);
        }
        listen(0.12);
    }
    // Every key left has stopped; the one held sounds on.
    listen(0.6);
    QCOMPARE(playingVoices(*m_player), 1);
    QCOMPARE(sampler.currentNoteGain(64), 1.0f);
    slide.release(0, pointOnKey(keys[2]), window).commit();
}

void TestPlaying::liftingEveryFingerSilencesEverything()
{
    QWidget* window = m_delegate->window();
    auto chord = QTest::touchEvent(window, m_touchScreen.get(), false);
    chord.press(0, pointOnKey(20), window)
        .press(1, pointOnKey(22), window)
        .press(2, pointOnKey(24), window);
    chord.commit();
    listen(0.15);
    QCOMPARE(playingVoices(*m_player), 3);
    chord.release(0, pointOnKey(20), window)
        .release(1, pointOnKey(22), window)
        .release(2, pointOnKey(24), window);
    chord.commit();
    listen(0.6);
    QCOMPARE(playingVoices(*m_player), 0);
    QVERIFY(level(listen(0.1), 0) < 1e-4);
}

// The toolbar's pedal, as a MIDI keyboard's: a key let go while it is down sounds on, unfaded,
// and its release lands (and is recorded) when the pedal lifts. The button shows any pedal.
void TestPlaying::sustainButtonHoldsAReleasedNoteAndTheReleaseIsRecordedWhenItLifts()
{
    const uint32_t c4 = 21;
    QWidget* window = m_delegate->window();
    KPButton* pedal = m_piano->buttonSustain();
    QTest::mouseClick(m_piano->buttonRecord(), Qt::LeftButton);
    QTest::mouseClick(pedal, Qt::LeftButton);
    QVERIFY(pedal->isSelected());
    QTest::touchEvent(window, m_touchScreen.get()).press(0, pointOnKey(c4), window);
    listen(0.1);
    QTest::touchEvent(window, m_touchScreen.get()).release(0, pointOnKey(c4), window);
    // Recorded on the program's clock, sounded on the rendered frames: both pass.
    QTest::qWait(700);
    listen(0.7);
    QCOMPARE(m_player->sampler().currentNoteGain(60), 1.0f);
    QVERIFY(level(listen(0.1), 0) > 0.01);

    QTest::mouseClick(pedal, Qt::LeftButton);
    QVERIFY(!pedal->isSelected());
    listen(0.7);
    QCOMPARE(playingVoices(*m_player), 0);
    QTest::mouseClick(m_piano->buttonRecord(), Qt::LeftButton);
    // Lifting the finger also released every other key, at once.
    QList<KPPianoKeyAction> c4Actions;
    for (const KPPianoKeyAction& action : m_recordings->recordings().value(0).actions)
        if (action.index == int32_t(c4))
            c4Actions << action;
    QCOMPARE(c4Actions.size(), 2);
    QVERIFY(c4Actions[1].isRelease());
    QVERIFY(c4Actions[1].interval - c4Actions[0].interval >= 0.7f);

    m_performer->setSustain(true);
    QVERIFY(pedal->isSelected());
    m_performer->setSustain(false);
}

void TestPlaying::computerKeysPlayFromTheLeftmostC_data()
{
    QTest::addColumn<uint32_t>("scanCode");
    QTest::addColumn<uint32_t>("key");
    QTest::addColumn<uint32_t>("note");
    QTest::newRow("Z plays C3") << 52u << 14u << 48u;
    QTest::newRow("C plays E3") << 54u << 16u << 52u;
    QTest::newRow("Q plays C4") << 24u << 21u << 60u;
}

void TestPlaying::computerKeysPlayFromTheLeftmostC()
{
    QFETCH(uint32_t, scanCode);
    QFETCH(uint32_t, key);
    QFETCH(uint32_t, note);
    QWidget* window = m_delegate->window();
    KPDesktopInputs inputs(*m_piano->keysView(), *m_performer, window);
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, scanCode, 0, 0);
    QApplication::sendEvent(window, &press);
    QCOMPARE(m_piano->keysView()->keyCollection()[qsizetype(key)]->state(),
             KPPianoKey::State::Down);
    const std::vector<float> heard = listen(0.3);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, scanCode, 0, 0);
    QApplication::sendEvent(window, &release);

    const double pitch =
        fundamentalPartial(heard, m_speaker.device()->sampleRate(), frequencyOf(note), 4410);
    QVERIFY2(std::abs(cents(pitch, frequencyOf(note))) < 20, qPrintable(QString::number(pitch)));
    QCOMPARE(m_piano->keysView()->keyCollection()[qsizetype(key)]->state(), KPPianoKey::State::Up);
}

void TestPlaying::toolbarKeysAreNamedAndWork()
{
    QVERIFY(KPLocalization::install(QLocale(QLocale::English)));
    KPWindow* window = m_delegate->window();
    KPDesktopManners manners(*m_piano, *window);
    for (KPButton* button :
         {m_piano->buttonRecord(), m_piano->buttonPlaylist(), m_piano->buttonSettings(),
          m_piano->buttonSustain(), m_piano->buttonMetronome(), m_piano->buttonMetronomeMinus(),
          m_piano->buttonMetronomePlus()}) {
        QVERIFY2(button->toolTip().endsWith(QLatin1Char(')')), qPrintable(button->objectName()));
        QVERIFY(!button->accessibleName().isEmpty());
    }
    QCOMPARE(m_piano->buttonMetronomePlus()->toolTip(), QStringLiteral("Faster (Up)"));

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_F3);
    QVERIFY(m_piano->showingSettings());
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(!m_piano->showingSettings());
    QTest::keyClick(window, Qt::Key_F2);
    QVERIFY(m_piano->showingPlaylist());
    QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
    QVERIFY(!m_piano->showingPlaylist());
    const uint32_t tempo = m_piano->metronome()->beatsPerMinute();
    QTest::keyClick(window, Qt::Key_Up);
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), tempo + 10);
    QTest::keyClick(window, Qt::Key_Down);
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), tempo);
}

// Three keys recorded on the shown piano, played from the list: the same notes at the times
// they were played. The output is rendered in step with the clock, so a note lands in the sound
// where it started.
void TestPlaying::recordingPlaysBackAsRecorded()
{
    QWidget* window = m_delegate->window();
    const uint32_t keys[] = {14, 16, 18}; // C3, E3, G3, on screen at the start
    const double notes[] = {130.81, 164.81, 196.00};

    // Each note has faded out before the next one starts, so each onset stands alone.
    QTest::mouseClick(m_piano->buttonRecord(), Qt::LeftButton);
    QVERIFY(m_recordings->recording());
    QTest::qWait(300);
    for (uint32_t key : keys) {
        QTest::touchEvent(window, m_touchScreen.get()).press(0, pointOnKey(key), window);
        QTest::qWait(100);
        QTest::touchEvent(window, m_touchScreen.get()).release(0, pointOnKey(key), window);
        QTest::qWait(700);
    }
    QTest::mouseClick(m_piano->buttonRecord(), Qt::LeftButton);
    // Lifting the last finger also releases every key, so the presses are picked out.
    QList<KPPianoKeyAction> presses;
    for (const KPPianoKeyAction& action : m_recordings->recordings().value(0).actions)
        if (!action.isRelease())
            presses << action;
    QCOMPARE(presses.size(), 3);

    QTest::mouseClick(m_piano->buttonPlaylist(), Qt::LeftButton);
    KPTableView* list = m_piano->playlistView()->tableView();
    QTRY_VERIFY(list->isVisible() && list->cellForRowAtIndexPath(0));
    QTest::qWait(400);
    m_speaker.render(1.0);

    // The output is rendered in step with the clock between the events the main thread runs,
    // as an output mixing on its own renders it. On a loaded machine the main thread can fall
    // behind and misplace an onset: a playback heard off time is heard again, up to three
    // times, before the timing counts as wrong.
    KPLoopbackDevice* device = m_speaker.device();
    const int rate = device->sampleRate();
    std::vector<float> heard;
    double clickedAt = 0;
    bool keyShownPressed = false;
    QList<double> onsets;
    const auto offTime = [&] {
        for (int n = 0; n < 3; ++n) {
            const double recorded = presses[n].interval - presses[0].interval;
            if (std::abs(onsets[n] - onsets[0] - recorded) > kOnsetTolerance)
                return true;
        }
        return false;
    };
    for (int attempt = 1; attempt <= 3; ++attempt) {
        heard.clear();
        const Clock::time_point anchor = Clock::now();
        const auto since = [&anchor] {
            return std::chrono::duration<double>(Clock::now() - anchor).count();
        };
        const auto listenWhile = [&](const std::function<bool()>& going) {
            while (going()) {
                QCoreApplication::processEvents();
                const auto due = size_t(since() * rate);
                if (due > heard.size() / 2) {
                    const std::vector<float> more = device->render(int(due - heard.size() / 2));
                    heard.insert(heard.end(), more.begin(), more.end());
                }
                keyShownPressed |=
                    m_piano->keysView()->keyCollection()[14]->state() == KPPianoKey::State::Down;
            }
        };
        listenWhile([&] { return since() < 0.1; });
        QWidget* row = list->cellForRowAtIndexPath(0);
        clickedAt = since();
        QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 20, row->height() / 2));
        listenWhile([&] { return m_recordings->playing(); });
        const double ended = since();
        listenWhile([&] { return since() < ended + 0.3; });

        // Onsets: the first sound after at least 0.15 s of silence (below -60 dB).
        onsets.clear();
        size_t quiet = 0;
        for (size_t frame = size_t(clickedAt * rate); frame < heard.size() / 2; ++frame) {
            const float loudest =
                std::max(std::abs(heard[2 * frame]), std::abs(heard[2 * frame + 1]));
            if (loudest >= 0.001f && (quiet > size_t(0.15 * rate) || onsets.isEmpty()))
                onsets << double(frame) / rate - clickedAt;
            quiet = loudest < 0.001f ? quiet + 1 : 0;
        }
        if (onsets.size() != 3 || !offTime())
            break;
    }
    QVERIFY(keyShownPressed);
    QCOMPARE(onsets.size(), 3);
    // The first note sounds as the row is touched; the others keep their distance from it.
    QVERIFY2(onsets[0] < 0.02, qPrintable(QString::number(onsets[0])));
    for (int n = 0; n < 3; ++n) {
        QCOMPARE(presses[n].index, int32_t(keys[n]));
        const double recorded = presses[n].interval - presses[0].interval;
        QVERIFY2(std::abs(onsets[n] - onsets[0] - recorded) <= kOnsetTolerance,
                 qPrintable(QStringLiteral("note %1 at %2 s, recorded at %3 s")
                                .arg(n)
                                .arg(onsets[n] - onsets[0])
                                .arg(recorded)));
        const double pitch = fundamentalPartial(
            heard, rate, notes[n], size_t((clickedAt + onsets[n]) * rate) + 2205, 4410);
        QVERIFY2(std::abs(cents(pitch, notes[n])) < 20, qPrintable(QString::number(pitch)));
    }
}

// Return is also the record key: in a name field it ends the name and records nothing.
void TestPlaying::rowTakesItsNameAndItsMenuThroughTheWindow()
{
    KPWindow* window = m_delegate->window();
    KPDesktopManners manners(*m_piano, *window);
    KPRecordingsManager& recordings = *m_recordings;
    KPPlaylistViewCell* row = nullptr;
    clickIntoNewTakesName(row, std::nullopt);
    if (!row)
        return;
    // Typing into the window.
    QTest::keyClicks(window, QStringLiteral("Take one "));
    QCOMPARE(playingVoices(*m_player), 0);
    QTest::keyClick(window, Qt::Key_Return);
    QVERIFY(!recordings.recording());
    QVERIFY(m_piano->showingPlaylist());
    QCOMPARE(recordings.titleForRecording(0), QStringLiteral("Take one"));

    // A finger held on the row opens the row's menu (after Qt's own long-press time).
    const QPoint onRow = window->mapFromView(row->title(), QPointF(30, 10)).toPoint();
    QTest::touchEvent(window, m_touchScreen.get()).press(0, onRow, window->viewport());
    QTRY_VERIFY(m_piano->playlistView()->findChild<QMenu*>());
    QTest::touchEvent(window, m_touchScreen.get()).release(0, onRow, window->viewport());
    QCOMPARE(m_piano->playlistView()->findChild<QMenu*>()->actions().size(), 4);
    m_piano->playlistView()->findChild<QMenu*>()->close();
    m_piano->playlistSelected();
}

// While the list's menu is open the keys are its own: Down moves its highlight, not the tempo,
// and Return chooses there rather than recording. Closing the list closes the menu with it, so
// the next click on a key plays.
void TestPlaying::anOpenMenuTakesTheKeysAndGoesWithItsPanel()
{
    KPWindow* window = m_delegate->window();
    KPDesktopManners manners(*m_piano, *window);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    const auto openMenu = [this] {
        KPPlaylistView* playlist = m_piano->playlistView();
        QContextMenuEvent asked(QContextMenuEvent::Mouse, QPoint(40, 40),
                                playlist->mapToGlobal(QPoint(40, 40)));
        QApplication::sendEvent(playlist, &asked);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    m_piano->playlistSelected();
    QMenu* menu = openMenu();
    QVERIFY(menu);
    const uint32_t tempo = m_piano->metronome()->beatsPerMinute();
    QTest::keyClick(window->windowHandle(), Qt::Key_Down);
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), tempo);
    QVERIFY(menu->activeAction());
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    QVERIFY(!m_recordings->recording());
    QVERIFY(m_piano->showingPlaylist());

    QVERIFY(openMenu());
    m_piano->playlistSelected();
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    // Nothing is left to take the next click on a key.
    QTRY_VERIFY(m_piano->findChildren<QAbstractAnimation*>().isEmpty());
    QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, pointOnKey(14));
    QCOMPARE(m_piano->keysView()->keyCollection()[14]->state(), KPPianoKey::State::Down);
    QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, pointOnKey(14));
}

// The menu's button shows where the toolbar has room for it; its entries answer, and while one
// of its dialogs is open the piano's keys are off.
void TestPlaying::desktopMenuOffersAboutHelpPreferencesAndQuit()
{
    QVERIFY(KPLocalization::install(QLocale(QLocale::English)));
    KPWindow* window = m_delegate->window();
    KPDesktopManners manners(*m_piano, *window);
    const QSize designed = window->size();
    window->resize(designed.height() * 2, designed.height());
    QTRY_VERIFY(manners.menuButton()->isVisible());
    QVERIFY(manners.menuButton()->geometry().right() < m_piano->buttonMetronome()->x());
    window->resize(designed);
    QTRY_VERIFY(!manners.menuButton()->isVisible());

    const QList<QAction*> entries = manners.menu()->actions();
    QCOMPARE(entries.size(), 5);
    QCOMPARE(entries[4]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    entries[2]->trigger();
    QVERIFY(m_piano->showingSettings());
    m_piano->overlaySelected();

    entries[1]->trigger();
    auto* help = window->findChild<QMessageBox*>();
    QVERIFY(help && help->isVisible());
    for (const char* key :
         {"Return", "Space", "Up", "Down", "F2", "F3", "Shift", "Ctrl+Q", "Ctrl+W"})
        QVERIFY2(help->text().contains(QLatin1String(key)), key);
    const uint32_t tempo = m_piano->metronome()->beatsPerMinute();
    QTest::keyClick(window->windowHandle(), Qt::Key_Up);
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), tempo);
    delete help;

    entries[0]->trigger();
    auto* about = window->findChild<QMessageBox*>();
    QVERIFY(about && about->text().contains(QLatin1String("MIT")));
    delete about;
}

// A new take (named `name`) at the top of the list, the list slid in, and a click into the take's
// name through the window: the field has the focus. `row` stays null when that failed.
void TestPlaying::clickIntoNewTakesName(KPPlaylistViewCell*& row, std::optional<QString> name)
{
    KPWindow* window = m_delegate->window();
    KPRecordingsManager& recordings = *m_recordings;
    recordings.startRecording();
    recordings.addRecordingAction({14, KPRecordedKeyState::Pressed, 0});
    recordings.stopRecording();
    recordings.changeNameForRecording(0, name);
    if (!m_piano->showingPlaylist())
        m_piano->playlistSelected();
    m_piano->playlistView()->tableView()->reloadData();
    auto* shown = qobject_cast<KPPlaylistViewCell*>(
        m_piano->playlistView()->tableView()->cellForRowAtIndexPath(0));
    QVERIFY(shown);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    const QWidget* panel = m_piano->playlistView();
    QPoint landed;
    QTRY_VERIFY(std::exchange(landed, panel->pos()) == panel->pos() && panel->y() > 0);
    QTest::mouseClick(window->viewport(), Qt::LeftButton, {},
                      window->mapFromView(shown->title(), QPointF(10, 10)).toPoint());
    QVERIFY(shown->title()->hasFocus());
    row = shown;
}

void TestPlaying::keysPlayAgainOnceTheNameIsDone_data()
{
    QTest::addColumn<int>("ending");
    QTest::addColumn<QString>("kept");
    QTest::newRow("Return keeps it") << int(Qt::Key_Return) << QStringLiteral("Old x");
    QTest::newRow("Esc cancels it") << int(Qt::Key_Escape) << QStringLiteral("Old");
    QTest::newRow("a click elsewhere keeps it") << 0 << QStringLiteral("Old x");
}

void TestPlaying::keysPlayAgainOnceTheNameIsDone()
{
    QFETCH(int, ending);
    QFETCH(QString, kept);
    KPWindow* window = m_delegate->window();
    KPDesktopInputs inputs(*m_piano->keysView(), *m_performer, window);
    KPRecordingsManager& recordings = *m_recordings;
    KPPlaylistViewCell* row = nullptr;
    clickIntoNewTakesName(row, QStringLiteral("Old"));
    if (!row)
        return;
    QTest::keyClick(window, Qt::Key_End);
    QTest::keyClicks(window, QStringLiteral(" x"));
    if (ending)
        QTest::keyClick(window, Qt::Key(ending));
    else
        // On the toolbar between the buttons.
        QTest::mouseClick(window->viewport(), Qt::LeftButton, {},
                          window->mapFromView(m_piano, QPointF(234, 1)).toPoint());
    QCOMPARE(recordings.titleForRecording(0), kept);

    // Z plays C3, Right moves the octave: the keys are the piano's again.
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, 52, 0, 0);
    QApplication::sendEvent(window, &press);
    QCOMPARE(m_piano->keysView()->keyCollection()[14]->state(), KPPianoKey::State::Down);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, 52, 0, 0);
    QApplication::sendEvent(window, &release);
    QCOMPARE(row->title()->text(), kept);
    if (m_piano->showingPlaylist())
        m_piano->playlistSelected();
}

void TestPlaying::windowOfAnySizeShowsTheScreenAndTakesInputWhereDrawn_data()
{
    QTest::addColumn<QSizeF>("factor");
    QTest::newRow("small") << QSizeF(0.6, 0.6);
    QTest::newRow("wide") << QSizeF(2.5, 2.0);
    QTest::newRow("tall") << QSizeF(1.0, 2.0);
}

// The screen is drawn as large as the window allows, wider where the window is wider than the
// designed shape, centred; a touch or a click lands on what is drawn under it. Where things are
// drawn is worked out here from the window's size, and checked in the picture.
void TestPlaying::windowOfAnySizeShowsTheScreenAndTakesInputWhereDrawn()
{
    QFETCH(QSizeF, factor);
    KPWindow* window = m_delegate->window();
    const QSize designed = KPDeviceIdiom::windowSize(KPDeviceIdiom::current());
    const QSize size(int(designed.width() * factor.width()),
                     int(designed.height() * factor.height()));
    window->resize(size);
    QTRY_COMPARE(window->viewport()->size(), size);
    const qreal scale = std::min(factor.width(), factor.height());
    const int screenWidth = std::max(designed.width(), int(std::floor(size.width() / scale)));
    const QPointF origin((size.width() - screenWidth * scale) / 2,
                         (size.height() - designed.height() * scale) / 2);
    QWidget* screen = window->rootView();
    QCOMPARE(screen->width(), screenWidth);
    const auto drawnAt = [&](const QWidget* widget, QPoint point) {
        return (origin + QPointF(widget->mapTo(screen, point)) * scale).toPoint();
    };

    // White keys drawn light, black keys dark, where they are said to be.
    QImage shot = window->viewport()->grab().toImage();
    shot.setDevicePixelRatio(1);
    const auto& keys = m_piano->keysView()->keyCollection();
    for (uint32_t key : {14u, 15u, 16u, 21u}) {
        const QPoint at =
            drawnAt(keys[key], QPoint(keys[key]->width() / 2, keys[key]->height() - 40));
        QVERIFY2(shot.pixelColor(at).lightness() > 180, qPrintable(QString::number(key)));
    }
    for (uint32_t key : {59u, 60u}) {
        const QPoint at = drawnAt(keys[key], keys[key]->rect().center());
        QVERIFY2(shot.pixelColor(at).lightness() < 90, qPrintable(QString::number(key)));
    }

    const KPPianoKey* c4 = keys[21];
    const QPoint onC4 = drawnAt(c4, QPoint(c4->width() / 2, c4->height() - 40));
    QTest::touchEvent(window, m_touchScreen.get()).press(0, onC4, window->viewport());
    QCOMPARE(c4->state(), KPPianoKey::State::Down);
    QTest::touchEvent(window, m_touchScreen.get()).release(0, onC4, window->viewport());
    QCOMPARE(c4->state(), KPPianoKey::State::Up);
    const KPPianoKey* e3 = keys[16];
    const QPoint onE3 = drawnAt(e3, QPoint(e3->width() / 2, e3->height() - 40));
    QTest::mousePress(window->viewport(), Qt::LeftButton, {}, onE3);
    QCOMPARE(e3->state(), KPPianoKey::State::Down);
    QTest::mouseRelease(window->viewport(), Qt::LeftButton, {}, onE3);
    QCOMPARE(e3->state(), KPPianoKey::State::Up);
    // Minimised under the finger, the window lets the key go.
    QTest::touchEvent(window, m_touchScreen.get()).press(1, onC4, window->viewport());
    window->showMinimized();
    QCOMPARE(c4->state(), KPPianoKey::State::Up);
    window->showNormal();
    QTest::touchEvent(window, m_touchScreen.get()).release(1, onC4, window->viewport());

    const KPButton* settings = m_piano->buttonSettings();
    QTest::mouseClick(window->viewport(), Qt::LeftButton, {},
                      drawnAt(settings, settings->rect().center()));
    QVERIFY(m_piano->showingSettings());
    m_piano->overlaySelected();
    window->resize(designed);
    QTRY_COMPARE(screen->width(), designed.width());
}

QTEST_MAIN(TestPlaying)
#include "tst_playing.moc"
