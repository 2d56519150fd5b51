#include "app/KPViewController.h"
#include "audio/KPAudioDevice.h"
#include "audio/KPSampler.h"
#include "audio/KPSoundPlayer.h"
#include "audio/KPSystemSound.h"
#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysView.h"
#include "keyboard/KPPianoKeysViewDelegate.h"
#include "performer/KPNotePerformer.h"
#include "platform/KPBundle.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPGridTimer.h"
#include "platform/KPLocalization.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPRecordingsManager.h"
#include "screen/KPMetronome.h"
#include "screen/KPPianoView.h"
#include "screen/KPRecordingsControl.h"
#include "settings/KPSettingsView.h"
#include "ui/KPButton.h"
#include "ui/KPImages.h"

#include "KPTestClock.h"

#include <QApplication>
#include <QPointingDevice>
#include <QTemporaryDir>
#include <QtTest>

using namespace std::chrono_literals;

// A panel's 0.3 s slide, and the frame that shows its end.
constexpr auto kSlideAndAFrame = 320ms;

namespace {

// Stands in for the recordings manager: notes what the piano view asks of it.
class RecordingsProbe : public KPRecordingsControl
{
public:
    bool recording() const override { return isRecording; }
    void startRecording() override { isRecording = true; }
    void stopRecording() override
    {
        if (isRecording)
            ++saved;
        isRecording = false;
    }
    void stopPlayback() override { ++playbackStops; }

    bool isRecording = false;
    int saved = 0;
    int playbackStops = 0;
};

constexpr int Recording = 1;
constexpr int Playlist = 2;
constexpr int Settings = 4;
constexpr int Metronome = 8;

} // namespace

class TestPianoView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void setUpBuildsTheScreen();
    void toolbarEndsAndKeepsActivities_data();
    void toolbarEndsAndKeepsActivities();
    void panelsSlideInAndOutBehindTheOverlay();
    void newSlideReplacesTheRunningOne();
    void playlistRestoresTheInstrumentItSaved();
    void recordButtonBlinksWhileRecording();
    void savedPopupShowsForOneSecond();
    void keysPlayThroughThePerformer();
    void dynamicsSwitchReachesTheKeys();
    void endingARecordingClearsTheHighlight();
    void overlayLetsTouchesThroughAsThePanelLeaves();
    void buttonsAnswerTheirOwnTouchWhileAKeyIsHeld();
    void octaveButtonsFollowTheStrip();
    void noKeyIsCutAtEitherEnd();
    void noBlackKeyIsCutAtAnyWidth_data();
    void noBlackKeyIsCutAtAnyWidth();

    void tempoStaysWithinBounds();
    void fineStepsAndTheWheelReachEveryTempo();
    void heldTempoButtonsRepeat();
    void tempoChangeTakesEffectFromTheNextBeat();
    void firstClickComesOneIntervalAfterTheStart();
    void clickOutputOpensWhenTheMetronomeStarts();
    void clicksLoopFromTheStart();

private:
    int activities() const;
    void setActivities(int wanted);

    // One clock for the whole case: the sound player's timers outlive a test.
    std::optional<KPTestClock> m_clock;
    QTemporaryDir m_home;
    std::optional<KPSoundPlayer> m_player;
    std::optional<KPRecordingsManager> m_manager;
    std::unique_ptr<QPointingDevice> m_touchScreen;
    std::unique_ptr<KPViewController> m_controller;
    KPPianoView* m_piano = nullptr;
    RecordingsProbe m_recordings;
    std::optional<KPNotePerformer> m_performer;
};

void TestPianoView::initTestCase()
{
    m_clock.emplace();
    m_touchScreen.reset(QTest::createTouchDevice());
    m_player.emplace();
    m_manager.emplace(m_home.filePath(QStringLiteral("recordings")), &*m_player);
    m_performer.emplace(*m_player);
}

void TestPianoView::init()
{
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
    m_recordings = RecordingsProbe();
    m_controller = std::make_unique<KPViewController>(QStringLiteral("KPViewController_iPhone"));
    m_piano = m_controller->view()->findChild<KPPianoView*>();
    QVERIFY(m_piano);
    m_piano->setRecordingsControl(&m_recordings);
    m_piano->setRecordingsManager(&*m_manager);
    m_piano->setPerformer(&*m_performer);
}

void TestPianoView::cleanup()
{
    m_piano->resetActionsExcluding(0);
    m_controller.reset();
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
}

int TestPianoView::activities() const
{
    return (m_recordings.isRecording ? Recording : 0) |
           (m_piano->showingPlaylist() ? Playlist : 0) |
           (m_piano->showingSettings() ? Settings : 0) |
           (m_piano->metronome()->beating() ? Metronome : 0);
}

void TestPianoView::setActivities(int wanted)
{
    if (wanted & Playlist)
        m_piano->showPlaylist();
    if (wanted & Settings)
        m_piano->showSettings();
    if (wanted & Metronome)
        m_piano->startMetronome();
    if (wanted & Recording)
        m_piano->startRecording();
}

void TestPianoView::setUpBuildsTheScreen()
{
    KPPianoKeysView* keys = m_piano->keysView();
    QCOMPARE(keys->parentWidget(), m_piano);
    QCOMPARE(m_piano->children().indexOf(keys), 0);
    // Centred, near the designed 27 points from either side.
    QVERIFY(keys->x() >= 13 && keys->x() <= 41);
    QVERIFY(std::abs(2 * keys->x() + keys->width() - m_piano->width()) <= 1);
    QCOMPARE(keys->y(), 0);
    QCOMPARE(keys->height(), m_piano->height());
    QVERIFY(keys->keysDelegate());
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 120u);
    QCOMPARE(m_piano->settingsView()->y(), -m_piano->settingsView()->height());
    QVERIFY(m_piano->buttonOverlay()->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Without recordings the record and playlist buttons stay off.
    m_piano->setRecordingsControl(nullptr);
    QVERIFY(!m_piano->buttonRecord()->isEnabled());
    QVERIFY(!m_piano->buttonPlaylist()->isEnabled());
    m_piano->recordSelected();
    QCOMPARE(KPDelayedCalls::pendingCount(m_piano), 0);
    m_piano->setRecordingsControl(&m_recordings);
    QVERIFY(m_piano->buttonRecord()->isEnabled());
}

void TestPianoView::toolbarEndsAndKeepsActivities_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("after");
    const int all = Recording | Playlist | Settings | Metronome;
    QTest::newRow("record starts a recording") << 0 << "record" << Recording;
    QTest::newRow("record again ends it") << Recording << "record" << 0;
    QTest::newRow("record closes the panels, keeps the metronome")
        << (Playlist | Settings | Metronome) << "record" << (Recording | Metronome);
    QTest::newRow("playlist opens, ending everything else")
        << (all & ~Playlist) << "playlist" << Playlist;
    QTest::newRow("playlist closes, keeping the metronome") << all << "playlist" << Metronome;
    QTest::newRow("settings opens, keeping the metronome")
        << (all & ~Settings) << "settings" << (Settings | Metronome);
    QTest::newRow("settings closes") << (Settings | Metronome) << "settings" << Metronome;
    QTest::newRow("overlay ends all but the metronome") << all << "overlay" << Metronome;
    QTest::newRow("metronome touches nothing else") << all << "metronome" << (all & ~Metronome);
    QTest::newRow("metronome starts") << Settings << "metronome" << (Settings | Metronome);
}

void TestPianoView::toolbarEndsAndKeepsActivities()
{
    QFETCH(int, before);
    QFETCH(QString, button);
    QFETCH(int, after);
    setActivities(before);
    QCOMPARE(activities(), before);
    const int playbackStops = m_recordings.playbackStops;

    KPButton* pressed = button == u"record"     ? m_piano->buttonRecord()
                        : button == u"playlist" ? m_piano->buttonPlaylist()
                        : button == u"settings" ? m_piano->buttonSettings()
                        : button == u"overlay"  ? m_piano->buttonOverlay()
                                                : m_piano->buttonMetronome();
    pressed->click();
    QCOMPARE(activities(), after);
    QCOMPARE(m_piano->buttonPlaylist()->isSelected(), bool(after & Playlist));
    QCOMPARE(m_piano->buttonSettings()->isSelected(), bool(after & Settings));
    QCOMPARE(m_piano->buttonMetronome()->isSelected(), bool(after & Metronome));
    QCOMPARE(m_piano->settingsView()->isShowing(), bool(after & Settings));
    // Closing the playlist panel always stops playback.
    const bool playlistClosed = (before & Playlist) && !(after & Playlist);
    QCOMPARE(m_recordings.playbackStops - playbackStops, playlistClosed ? 1 : 0);
    // A recording ended by any button is saved.
    QCOMPARE(m_recordings.saved, (before & Recording) && !(after & Recording) ? 1 : 0);
}

void TestPianoView::panelsSlideInAndOutBehindTheOverlay()
{
    KPSettingsView* panel = m_piano->settingsView();
    const int x = panel->x();
    m_piano->settingsSelected();
    m_clock->advance(kSlideAndAFrame);
    QCOMPARE(panel->pos(), QPoint(x, 44));
    QVERIFY(!m_piano->buttonOverlay()->testAttribute(Qt::WA_TransparentForMouseEvents));
    const auto veil = [this] {
        return m_piano->buttonOverlay()->palette().color(QPalette::Window);
    };
    QCOMPARE(veil().alpha(), 70);
    QVERIFY(m_piano->children().indexOf(m_piano->buttonOverlay()) <
            m_piano->children().indexOf(panel));

    m_piano->overlaySelected();
    QVERIFY(!m_piano->showingSettings());
    m_clock->advance(kSlideAndAFrame);
    QCOMPARE(panel->pos(), QPoint(x, -panel->height()));
    QCOMPARE(veil().alpha(), 0);
    QVERIFY(m_piano->buttonOverlay()->testAttribute(Qt::WA_TransparentForMouseEvents));

    // Opening one panel while the other leaves: both slides run to their end.
    QWidget* playlist = m_piano->playlistView();
    m_piano->playlistSelected();
    m_clock->advance(kSlideAndAFrame);
    QCOMPARE(playlist->y(), 48);
    m_piano->settingsSelected();
    m_clock->advance(kSlideAndAFrame);
    QCOMPARE(playlist->y(), -playlist->height());
    QCOMPARE(panel->pos(), QPoint(x, 44));
    QCOMPARE(veil().alpha(), 70);
}

void TestPianoView::newSlideReplacesTheRunningOne()
{
    KPSettingsView* panel = m_piano->settingsView();
    m_piano->showSettings();
    m_clock->advance(100ms);
    m_piano->closeSettings();
    m_piano->showSettings();
    m_piano->closeSettings();
    m_clock->advance(300ms);
    QCOMPARE(panel->y(), -panel->height());
    m_clock->advance(350ms);
    QCOMPARE(panel->y(), -panel->height());
}

void TestPianoView::playlistRestoresTheInstrumentItSaved()
{
    KPSoundPlayer& player = *m_player;
    player.useSoundBank(QStringLiteral("Music Box"));
    m_piano->playlistSelected();
    player.useSoundBank(QStringLiteral("Banjo"));
    m_piano->playlistSelected();
    QCOMPARE(player.activeSoundBank().value_or(QString()), QStringLiteral("Music Box"));
    player.useSoundBank(QStringLiteral("Grand Piano"));
}

void TestPianoView::recordButtonBlinksWhileRecording()
{
    const auto shows = [this](const char* image) {
        return m_piano->buttonRecord()->image().cacheKey() ==
               KPImages::named(QLatin1String(image)).cacheKey();
    };
    QVERIFY(shows("record_button"));
    m_piano->recordSelected();
    QVERIFY(m_recordings.isRecording);
    QVERIFY(shows("record_button_pressed_bright"));
    m_clock->advance(299ms);
    QVERIFY(shows("record_button_pressed_bright"));
    m_clock->advance(1ms);
    QVERIFY(shows("record_button_pressed_dull"));
    QVERIFY(m_piano->buttonRecord()->isHighlighted());
    m_clock->advance(300ms);
    QVERIFY(shows("record_button_pressed_bright"));
    QVERIFY(!m_piano->buttonRecord()->isHighlighted());

    m_piano->recordSelected();
    QVERIFY(!m_recordings.isRecording);
    QVERIFY(shows("record_button"));
    QCOMPARE(KPDelayedCalls::pendingCount(m_piano), 0);
    m_clock->advance(350ms);
    QVERIFY(shows("record_button"));
}

void TestPianoView::savedPopupShowsForOneSecond()
{
    KPLocalization::install(QLocale(QLocale::English));
    m_piano->resize(480, 320);
    m_piano->showRecordingPopup();
    m_piano->showRecordingPopup();
    const auto popups = [this] {
        QList<QWidget*> found;
        for (QWidget* child : m_piano->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->findChild<QLabel*>() &&
                child->testAttribute(Qt::WA_TransparentForMouseEvents) &&
                child != m_piano->buttonOverlay())
                found << child;
        return found;
    };
    const QList<QWidget*> shown = popups();
    QCOMPARE(shown.size(), 2);
    // The newer one lies over the older.
    QVERIFY(m_piano->children().indexOf(shown[1]) > m_piano->children().indexOf(shown[0]));
    const QSize image = KPImages::sizeOf(QStringLiteral("notification_popup"));
    QCOMPARE(shown[0]->size(), image);
    QCOMPARE(shown[0]->pos(), QPoint((480 - image.width()) / 2, (320 - image.height()) / 2 + 15));
    QStringList texts;
    for (QLabel* label : shown[0]->findChildren<QLabel*>())
        texts << label->text();
    QVERIFY(texts.contains(QStringLiteral("Recording saved")));

    m_clock->advance(900ms);
    QCOMPARE(popups().size(), 2);
    m_clock->advance(150ms);
    QTRY_COMPARE(popups().size(), 0);
}

// The keys play as touches through the performer, and show whatever it plays.
void TestPianoView::keysPlayThroughThePerformer()
{
    KPPianoKeysView* keys = m_piano->keysView();
    keys->keysDelegate()->playKey(14);
    QVERIFY(m_performer->holds(KPNoteSource::Touch, 48));
    QTRY_COMPARE(m_player->sampler().currentNoteGain(48), 1.0f);
    m_performer->noteOn(KPNoteSource::Midi, 50, 100);
    QCOMPARE(keys->keyCollection()[15]->state(), KPPianoKey::State::Down);
    keys->keysDelegate()->stopAll();
    QVERIFY(!m_performer->isHeld(48));
    QCOMPARE(keys->keyCollection()[15]->state(), KPPianoKey::State::Down);
    m_performer->releaseAll(KPNoteSource::Midi);
    QCOMPARE(keys->keyCollection()[15]->state(), KPPianoKey::State::Up);
}

// Off at every start; the switch sits below the instrument list and the volume, inside the
// parked panel, also once the screen is laid out for a wider window.
void TestPianoView::dynamicsSwitchReachesTheKeys()
{
    QCheckBox* dynamics = m_piano->settingsView()->dynamicsSwitch();
    QVERIFY(!m_piano->keysView()->dynamics());
    m_piano->resize(m_piano->width() + 300, m_piano->height());
    QCOMPARE(dynamics->geometry().bottom(), m_piano->settingsView()->rect().bottom());
    QVERIFY(m_piano->settingsView()->volumeSlider()->geometry().bottom() < dynamics->y());
    dynamics->click();
    QVERIFY(m_piano->keysView()->dynamics());
}

// Ended in the blink's dull phase, the record button does not stay highlighted.
void TestPianoView::endingARecordingClearsTheHighlight()
{
    m_piano->recordSelected();
    m_clock->advance(300ms);
    QVERIFY(m_piano->buttonRecord()->isHighlighted());
    m_piano->recordSelected();
    QVERIFY(!m_piano->buttonRecord()->isHighlighted());
}

// As soon as the panel starts to slide out, a touch beside it reaches the keys, not the veil.
void TestPianoView::overlayLetsTouchesThroughAsThePanelLeaves()
{
    const QPoint onKeys(240, 300);
    m_piano->settingsSelected();
    m_clock->advance(300ms);
    QCOMPARE(m_piano->childAt(onKeys), m_piano->buttonOverlay());
    m_piano->overlaySelected();
    m_clock->advance(20ms);
    QVERIFY(m_piano->keysView()->isAncestorOf(m_piano->childAt(onKeys)));
}

// One finger holds C4 while a second taps the metronome, octave up and settings buttons: each
// acts, and C4 sounds on until its own finger lifts.
void TestPianoView::buttonsAnswerTheirOwnTouchWhileAKeyIsHeld()
{
    QWidget* window = m_controller->view();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    KPSampler& sampler = m_player->sampler();
    const KPPianoKey* c4 = m_piano->keysView()->keyCollection()[21];
    const QPoint onC4 = c4->mapTo(window, QPoint(c4->width() / 2, c4->height() - 40));
    auto touches = QTest::touchEvent(window, m_touchScreen.get(), false);
    touches.press(0, onC4, window).commit();
    QTRY_COMPARE(sampler.currentNoteGain(60), 1.0f);

    const auto tap = [&](QWidget* button) {
        const QPoint at = button->mapTo(window, button->rect().center());
        touches.stationary(0).press(1, at, window).commit();
        touches.stationary(0).release(1, at, window).commit();
    };
    tap(m_piano->buttonMetronome());
    QVERIFY(m_piano->metronome()->beating());
    tap(window->findChild<KPButton*>(QStringLiteral("buttonOctaveUp")));
    QCOMPARE(m_piano->keysView()->currentOctave(), 3u);
    tap(m_piano->buttonSettings());
    QVERIFY(m_piano->showingSettings());

    m_clock->advance(500ms);
    QCOMPARE(sampler.currentNoteGain(60), 1.0f);
    touches.release(0, onC4, window).commit();
    m_clock->advance(200ms);
    QTRY_VERIFY(sampler.currentNoteGain(60) < 1.0f);
}

// An octave button is off while the strip cannot move its way: on the phone down to C1, up
// to the right end.
void TestPianoView::noKeyIsCutAtEitherEnd()
{
    KPPianoKeysView* keys = m_piano->keysView();
    const auto onAKeyEdge = [keys](int x) {
        for (uint32_t key = 0; key < KPKeyboardLayout::whiteKeyCount; ++key) {
            const QRect frame = keys->keyCollection()[key]->geometry();
            if (std::abs(frame.left() - x) <= 1 || std::abs(frame.left() + frame.width() - x) <= 1)
                return true;
        }
        return false;
    };
    while (keys->canChangeOctave(KPOctaveDirection::Lower))
        keys->changeOctave(KPOctaveDirection::Lower);
    QVERIFY(onAKeyEdge(keys->contentOffset().x() + keys->width()));
    while (keys->canChangeOctave(KPOctaveDirection::Higher))
        keys->changeOctave(KPOctaveDirection::Higher);
    QVERIFY(onAKeyEdge(keys->contentOffset().x()));
}

void TestPianoView::octaveButtonsFollowTheStrip()
{
    auto* up = m_controller->view()->findChild<KPButton*>(QStringLiteral("buttonOctaveUp"));
    auto* down = m_controller->view()->findChild<KPButton*>(QStringLiteral("buttonOctaveDown"));
    QVERIFY(up->isEnabled() && down->isEnabled());
    down->click();
    down->click();
    QCOMPARE(m_piano->keysView()->currentOctave(), 0u);
    QVERIFY(!down->isEnabled());
    for (int i = 0; i < 6; ++i)
        up->click();
    QCOMPARE(m_piano->keysView()->currentOctave(), 6u);
    QVERIFY(!up->isEnabled());
    QVERIFY(down->isEnabled());
}

// The phone's screen (320 points high) stretched to windows of many shapes, at every octave: a
// black key is shown whole or not at all at both edges.
void TestPianoView::noBlackKeyIsCutAtAnyWidth_data()
{
    QTest::addColumn<int>("width");
    for (const int width : {480, 512, 533, 569, 600, 747, 853, 1189})
        QTest::addRow("%d", width) << width;
}

void TestPianoView::noBlackKeyIsCutAtAnyWidth()
{
    QFETCH(int, width);
    m_controller->view()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_controller->view()));
    m_piano->resize(width, m_piano->height());
    KPPianoKeysView* keys = m_piano->keysView();
    QVERIFY(keys->width() > width / 2);
    while (keys->canChangeOctave(KPOctaveDirection::Lower))
        keys->changeOctave(KPOctaveDirection::Lower);
    for (;;) {
        const int left = keys->contentOffset().x();
        for (uint32_t key = KPKeyboardLayout::whiteKeyCount; key < KPKeyboardLayout::keyCount;
             ++key) {
            if (keys->keyCollection()[key]->isHidden())
                continue;
            const QRect frame = keys->keyCollection()[key]->geometry();
            for (const int edge : {left, left + keys->width()})
                QVERIFY2(frame.left() >= edge - 1 || frame.left() + frame.width() <= edge + 1,
                         qPrintable(QStringLiteral("key %1 at %2").arg(key).arg(edge)));
        }
        if (!keys->canChangeOctave(KPOctaveDirection::Higher))
            break;
        keys->changeOctave(KPOctaveDirection::Higher);
    }
}

void TestPianoView::tempoStaysWithinBounds()
{
    KPButton* minus = m_piano->buttonMetronomeMinus();
    KPButton* plus = m_piano->buttonMetronomePlus();
    QVERIFY(minus->isEnabled());
    QVERIFY(plus->isEnabled());
    for (int i = 0; i < 7; ++i)
        minus->click();
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 50u);
    QCOMPARE(m_piano->labelMetronome()->text(), QStringLiteral("BPM: 50"));
    QVERIFY(!minus->isEnabled());
    // One step past the end is refused even when asked directly; two are too.
    m_piano->metronomeMinusSelected();
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 40u);
    m_piano->metronomeMinusSelected();
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 40u);
    m_piano->metronomePlusSelected();
    plus->click();
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 60u);
    QVERIFY(minus->isEnabled());

    for (int i = 0; i < 29; ++i)
        plus->click();
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 350u);
    QVERIFY(!plus->isEnabled());
    QCOMPARE(m_piano->labelMetronome()->text(), QStringLiteral("BPM: 350"));
    m_piano->metronomePlusSelected();
    m_piano->metronomePlusSelected();
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 360u);
}

// Shift makes a button's step one beat, as does each notch of the wheel over the tempo; neither
// leaves 50 to 350, and the buttons turn off at the ends.
void TestPianoView::fineStepsAndTheWheelReachEveryTempo()
{
    KPButton* minus = m_piano->buttonMetronomeMinus();
    KPButton* plus = m_piano->buttonMetronomePlus();
    // Through the window, which tells the application that Shift is down.
    QWidget* screen = m_controller->view();
    screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(screen));
    const QPoint onMinus = minus->mapTo(screen, minus->rect().center());
    QTest::mouseClick(screen->windowHandle(), Qt::LeftButton, Qt::ShiftModifier, onMinus);
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 119u);
    QTest::mouseMove(screen->windowHandle(), QPoint(1, 1));
    const auto wheel = [this](int notches) {
        QWheelEvent turn(QPointF(5, 5), m_piano->labelMetronome()->mapToGlobal(QPointF(5, 5)),
                         QPoint(), QPoint(0, notches * 120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_piano->labelMetronome(), &turn);
    };
    wheel(-3);
    QCOMPARE(m_piano->labelMetronome()->text(), QStringLiteral("BPM: 116"));
    for (int i = 0; i < 7; ++i)
        minus->click();
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 50u);
    QVERIFY(!minus->isEnabled());
    wheel(-1);
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 50u);
    wheel(400);
    QCOMPARE(m_piano->metronome()->beatsPerMinute(), 350u);
    QVERIFY(!plus->isEnabled());
    QVERIFY(minus->isEnabled());
}

// A held button goes on stepping.
void TestPianoView::heldTempoButtonsRepeat()
{
    KPButton* plus = m_piano->buttonMetronomePlus();
    QTest::mousePress(plus, Qt::LeftButton);
    QTRY_VERIFY(m_piano->metronome()->beatsPerMinute() >= 150u);
    QTest::mouseRelease(plus, Qt::LeftButton);
}

void TestPianoView::tempoChangeTakesEffectFromTheNextBeat()
{
    // Stopped: only the number changes; the start uses it.
    m_piano->metronomePlusSelected();
    const auto started = m_clock->now();
    m_piano->metronomeSelected();
    QCOMPARE(m_piano->metronome()->nextBeat(),
             started + std::chrono::duration_cast<KPClock::Duration>(
                           std::chrono::duration<double>(1.0f / (130.0f / 60.0f))));
    // Before the first beat the start stands for the last one.
    m_clock->advance(300ms);
    m_piano->metronomeMinusSelected();
    QVERIFY(m_piano->metronome()->beating());
    QCOMPARE(m_piano->metronome()->nextBeat(), started + 500ms);
    m_clock->advance(300ms);
    m_piano->metronomePlusSelected();
    QCOMPARE(m_piano->metronome()->nextBeat(),
             started + 500ms +
                 std::chrono::duration_cast<KPClock::Duration>(
                     std::chrono::duration<double>(1.0f / (130.0f / 60.0f))));
    // Changed again and again, it never falls silent: each next beat follows the last one.
    for (int change = 0; change < 25; ++change) {
        m_clock->advance(100ms);
        change % 2 ? m_piano->metronomePlusSelected() : m_piano->metronomeMinusSelected();
    }
    QCOMPARE_LE(m_piano->metronome()->nextBeat() - m_clock->now(), 500ms);
}

void TestPianoView::firstClickComesOneIntervalAfterTheStart()
{
    for (int i = 0; i < 23; ++i)
        m_piano->metronomePlusSelected();
    const auto started = m_clock->now();
    QList<KPClock::Duration> at;
    connect(m_piano->metronome(), &KPMetronome::beatPlayed, this,
            [&] { at << m_clock->now() - started; });
    m_piano->startMetronome();
    m_clock->advance(600ms);
    m_piano->stopMetronome();
    m_clock->advance(600ms);
    const auto interval = std::chrono::duration_cast<KPClock::Duration>(
        std::chrono::duration<double>(1.0f / (350.0f / 60.0f)));
    QCOMPARE(at, (QList<KPClock::Duration>{interval, 2 * interval, 3 * interval}));
}

// The click's output is opened as the metronome starts, not at the first click an interval later.
void TestPianoView::clickOutputOpensWhenTheMetronomeStarts()
{
    int opened = 0;
    KPSystemSound sound([&opened] {
        ++opened;
        return KPAudioDevice::openDefault();
    });
    KPMetronome metronome(sound);
    metronome.startMetronome();
    QCOMPARE(opened, 1);
}

// The click loops from the start on, a beat long; stopping ends it.
void TestPianoView::clicksLoopFromTheStart()
{
    KPSystemSound sound;
    KPMetronome metronome(sound);
    metronome.startMetronome();
    QVERIFY(sound.isLooping());
    metronome.faster();
    QVERIFY(sound.isLooping());
    metronome.stopMetronome();
    QVERIFY(!sound.isLooping());
}

QTEST_MAIN(TestPianoView)
#include "tst_pianoview.moc"
