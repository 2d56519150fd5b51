#include "app/KPAppDelegate.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "audio/KPSoundPlayer.h"
#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPianoKeysView.h"
#include "performer/KPNotePerformer.h"
#include "platform/KPBundle.h"
#include "platform/KPDeviceIdiom.h"
#include "rating/KPRatingPrompt.h"
#include "recordings/KPRecordingsManager.h"
#include "recordings/KPRecordingsStore.h"
#include "screen/KPMetronome.h"
#include "screen/KPPianoView.h"
#include "ui/KPButton.h"

#include <QApplication>
#include <QLabel>
#include <QMetaProperty>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include "KPTestClock.h"

namespace {

// A delegate that notes the launch steps as they run.
class RecordingDelegate : public KPAppDelegate
{
public:
    using KPAppDelegate::KPAppDelegate;
    QStringList steps;

    void registerDefaultsFromSettingsBundle() override
    {
        steps << QStringLiteral("defaults");
        KPAppDelegate::registerDefaultsFromSettingsBundle();
    }
    void initializeCrashReporter() override { steps << QStringLiteral("crash reporter"); }

protected:
    void createWindow() override
    {
        steps << QStringLiteral("window");
        KPAppDelegate::createWindow();
    }
    void createViewController() override
    {
        steps << QStringLiteral("view controller");
        KPAppDelegate::createViewController();
    }
    void makeKeyAndVisible() override
    {
        steps << QStringLiteral("visible");
        QVERIFY(window()->rootViewController() == viewController());
        KPAppDelegate::makeKeyAndVisible();
    }
};

struct TemporaryDefaults
{
    QTemporaryDir dir;
    KPUserDefaults defaults{
        std::make_unique<QSettings>(dir.filePath(QStringLiteral("d.ini")), QSettings::IniFormat)};
};

QColor averageColor(const QImage& image, const QRect& area)
{
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
            ++n;
        }
    return QColor(int(r / n), int(g / n), int(b / n));
}

// The toolkit tells that the application changed its state.
void become(Qt::ApplicationState state)
{
    QMetaObject::invokeMethod(qApp, "applicationStateChanged", Q_ARG(Qt::ApplicationState, state));
}

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void launchRunsItsStepsInOrder_data();
    void launchRunsItsStepsInOrder();
    void settingsBundleDefaults_data();
    void settingsBundleDefaults();
    void onlyLandscapeIsAccepted_data();
    void onlyLandscapeIsAccepted();
    void adsHandOverHappensOnceWhicheverComesSecond();
    void newsButtonOpensOneBannerAtATime();
    void interfaceFilesWireEveryOutletAndAction_data();
    void interfaceFilesWireEveryOutletAndAction();
    void windowShowsTheToolbarOverTheKeyboard_data();
    void windowShowsTheToolbarOverTheKeyboard();
    void windowComesBackAsItWasLeft();
    void firstWindowFitsTheScreen();
    void firstWindowShowsFourOctavesWhereThereIsRoom_data();
    void firstWindowShowsFourOctavesWhereThereIsRoom();
    void lifecycleEventsFollowTheApplicationState();
    void foregroundsCountOnceTheRatingPromptIsLaunched();
    void soundComesBackOnEveryReturnFromSuspension_data();
    void soundComesBackOnEveryReturnFromSuspension();
    void helpAndVersionNeedNoDisplay_data();
    void helpAndVersionNeedNoDisplay();
    void aTakeIsOnDiskASecondAfterItEnds();
};

void TestApp::init()
{
    KPBundle::setResourceRoot(QString());
}

void TestApp::cleanup()
{
    KPBundle::setResourceRoot(QString());
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
}

void TestApp::launchRunsItsStepsInOrder_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<QString>("nib");
    QTest::addColumn<QSize>("windowSize");
    QTest::addColumn<bool>("phone");
    QTest::addColumn<bool>("pad");
    QTest::newRow("phone") << KPIdiom::Phone << "KPViewController_iPhone" << QSize(480, 320) << true
                           << false;
    QTest::newRow("tablet") << KPIdiom::Pad << "KPViewController_iPad" << QSize(1024, 768) << false
                            << true;
    QTest::newRow("other idiom gets the tablet file")
        << KPIdiom::Other << "KPViewController_iPad" << QSize(1024, 768) << false << false;
}

void TestApp::launchRunsItsStepsInOrder()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(QString, nib);
    QFETCH(QSize, windowSize);
    QFETCH(bool, phone);
    QFETCH(bool, pad);
    KPDeviceIdiom::setCurrent(idiom);
    TemporaryDefaults store;
    RecordingDelegate delegate(store.defaults);
    QCOMPARE(KPAppDelegate::shared(), &delegate);

    QVERIFY(delegate.didFinishLaunching());
    QCOMPARE(delegate.steps,
             QStringList({"defaults", "crash reporter", "window", "view controller", "visible"}));
    QCOMPARE(delegate.viewController()->nibName(), nib);
    QCOMPARE(delegate.isPhone(), phone);
    QCOMPARE(delegate.isPad(), pad);
    // Laid out at the idiom's size, whatever size fits the screen.
    QCOMPARE(delegate.window()->rootView()->size(), windowSize);
    QVERIFY(delegate.window()->isVisible());
    QVERIFY(delegate.viewController()->isViewLoaded());
    // The shipped settings bundle registers its defaults without writing them.
    QCOMPARE(store.defaults.value(QStringLiteral("version_preference")).toString(),
             QStringLiteral("1.0.0"));
    QVERIFY(!store.defaults.settings().contains(QStringLiteral("version_preference")));
}

void TestApp::settingsBundleDefaults_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QVariantMap>("registered");
    QTest::newRow("entries without a default or key are skipped, a later key wins")
        << "full" << QVariantMap{{"volume", 8}, {"labels", false}};
    QTest::newRow("no PreferenceSpecifiers") << "nospecifiers" << QVariantMap();
    QTest::newRow("no Root.plist") << "noroot" << QVariantMap();
    QTest::newRow("no settings bundle") << "nobundle" << QVariantMap();
}

void TestApp::settingsBundleDefaults()
{
    QFETCH(QString, tree);
    QFETCH(QVariantMap, registered);
    KPBundle::setResourceRoot(QStringLiteral(KP_TEST_DATA_DIR "/") + tree);
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    delegate.registerDefaultsFromSettingsBundle();
    const QVariantMap found = store.defaults.registeredDefaults();
    QCOMPARE(found.keys(), registered.keys());
    for (auto it = registered.cbegin(); it != registered.cend(); ++it)
        QCOMPARE(found.value(it.key()).toString(), it.value().toString());
    QVERIFY(store.defaults.settings().allKeys().isEmpty());
}

void TestApp::onlyLandscapeIsAccepted_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("portrait") << 1 << false;
    QTest::newRow("upside down") << 2 << false;
    QTest::newRow("landscape right") << 3 << true;
    QTest::newRow("landscape left") << 4 << true;
    QTest::newRow("unknown") << 0 << false;
    QTest::newRow("face up") << 5 << false;
}

void TestApp::onlyLandscapeIsAccepted()
{
    QFETCH(int, orientation);
    QFETCH(bool, accepted);
    const KPViewController controller(QStringLiteral("KPViewController_iPhone"));
    QCOMPARE(controller.shouldAutorotateToInterfaceOrientation(orientation), accepted);
}

void TestApp::adsHandOverHappensOnceWhicheverComesSecond()
{
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    {
        // The information first: the view's loading completes the hand-over.
        KPViewController controller(QStringLiteral("KPViewController_iPhone"));
        controller.initializeAds();
        QVERIFY(!controller.adsInitialized());
        delegate.setAdWhirlIphoneID(QStringLiteral("phone-id"));
        delegate.setAdMobIpadID(QStringLiteral("tablet-id"));
        QTest::ignoreMessage(QtInfoMsg,
                             "KPViewController: View loaded after HTTP request returned");
        controller.view();
        QVERIFY(controller.adsInitialized());
        controller.initializeAds();
        QVERIFY(controller.adsInitialized());
    }
    {
        // The view first: the information's arrival completes it.
        delegate.setAdMobIpadID(QString());
        KPViewController controller(QStringLiteral("KPViewController_iPhone"));
        controller.view();
        QVERIFY(!controller.adsInitialized());
        controller.initializeAds();
        QVERIFY(controller.adsInitialized());
    }
}

void TestApp::newsButtonOpensOneBannerAtATime()
{
    KPViewController controller(QStringLiteral("KPViewController_iPhone"));
    controller.view();
    QVERIFY(!controller.netBannerShowing());
    controller.newsBtn()->click();
    QVERIFY(controller.netBannerShowing());
    controller.newsBtn()->click();
    QVERIFY(controller.netBannerShowing());
    controller.onExitNetAdView();
    QVERIFY(!controller.netBannerShowing());
    controller.newsBtn()->click();
    QVERIFY(controller.netBannerShowing());
}

void TestApp::interfaceFilesWireEveryOutletAndAction_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<QString>("nib");
    QTest::newRow("phone") << KPIdiom::Phone << "KPViewController_iPhone";
    QTest::newRow("tablet") << KPIdiom::Pad << "KPViewController_iPad";
}

void TestApp::interfaceFilesWireEveryOutletAndAction()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(QString, nib);
    KPDeviceIdiom::setCurrent(idiom);
    QTest::failOnWarning(QRegularExpression(QStringLiteral("KPNibWiring|KPViewController")));
    KPViewController controller(nib);
    QWidget* view = controller.view();
    auto* piano = view->findChild<KPPianoView*>();
    QVERIFY(piano);
    QVERIFY(controller.newsBtn());

    const QMetaObject* meta = piano->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty outlet = meta->property(i);
        QVERIFY2(outlet.read(piano).value<QObject*>(), outlet.name());
    }
    // awakeFromNib ran after the wiring: the keyboard is built, the tempo shown.
    QVERIFY(piano->keysView());
    QCOMPARE(piano->labelMetronome()->text(), QStringLiteral("BPM: 120"));
    QVERIFY(!piano->buttonRecord()->image().isNull());

    // Nothing in the toolbar overlaps, and the fastest tempo fits its label.
    QList<QWidget*> bar{piano->labelMetronome()};
    for (KPButton* button : piano->findChildren<KPButton*>(Qt::FindDirectChildrenOnly))
        if (button != piano->buttonOverlay())
            bar << button;
    for (const QWidget* a : bar)
        for (const QWidget* b : bar)
            QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                     qPrintable(a->objectName() + u' ' + b->objectName()));
    QLabel* tempo = piano->labelMetronome();
    tempo->ensurePolished();
    QVERIFY(tempo->fontMetrics().horizontalAdvance(QStringLiteral("BPM: 350")) <= tempo->width());

    // Every action reaches its operation.
    piano->buttonMetronomePlus()->click();
    QCOMPARE(piano->metronome()->beatsPerMinute(), 130u);
    piano->buttonMetronomeMinus()->click();
    QCOMPARE(piano->metronome()->beatsPerMinute(), 120u);
    piano->buttonMetronome()->click();
    QVERIFY(piano->metronome()->beating());
    piano->buttonMetronome()->click();
    QVERIFY(!piano->metronome()->beating());
    piano->buttonSettings()->click();
    QVERIFY(piano->showingSettings());
    piano->buttonOverlay()->click();
    QVERIFY(!piano->showingSettings());
    const uint32_t octave = piano->keysView()->currentOctave();
    view->findChild<KPButton*>(QStringLiteral("buttonOctaveUp"))->click();
    QCOMPARE(piano->keysView()->currentOctave(), octave + 1);
    view->findChild<KPButton*>(QStringLiteral("buttonOctaveDown"))->click();
    QCOMPARE(piano->keysView()->currentOctave(), octave);
}

void TestApp::windowShowsTheToolbarOverTheKeyboard_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<int>("toolbarHeight");
    QTest::newRow("phone") << KPIdiom::Phone << 44;
    QTest::newRow("tablet") << KPIdiom::Pad << 86;
    // The phone's key pictures in a tablet-sized window: scaled, they still reach the bottom.
    QTest::newRow("other") << KPIdiom::Other << 86;
}

void TestApp::windowShowsTheToolbarOverTheKeyboard()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(int, toolbarHeight);
    KPDeviceIdiom::setCurrent(idiom);
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    delegate.didFinishLaunching();
    QVERIFY(QTest::qWaitForWindowExposed(delegate.window()));

    QImage shot = delegate.window()->grab().toImage();
    shot.setDevicePixelRatio(1);
    shot = shot.scaled(delegate.window()->size());
    shot.save(
        QDir::temp().filePath(QStringLiteral("touchpiano-%1.png").arg(QTest::currentDataTag())));
    const int width = shot.width();
    // A dark toolbar across the top, bright white keys below it.
    toolbarHeight = int(toolbarHeight * delegate.window()->scale());
    const QColor toolbar = averageColor(shot, QRect(0, 0, width, toolbarHeight - 2));
    const QColor keys = averageColor(shot, QRect(60, shot.height() - 40, width - 120, 30));
    QVERIFY2(toolbar.lightness() < 90, qPrintable(toolbar.name()));
    QVERIFY2(keys.lightness() > 180, qPrintable(keys.name()));
}

// The window's size, the instrument, the volume, the tempo (also between the tens), the octave
// and touch dynamics come back at the next start.
void TestApp::windowComesBackAsItWasLeft()
{
    TemporaryDefaults store;
    KPSoundPlayer player;
    const auto piano = [](KPAppDelegate& delegate) {
        return delegate.window()->rootView()->findChild<KPPianoView*>();
    };
    {
        KPAppDelegate delegate(store.defaults);
        delegate.setSoundPlayer(&player);
        delegate.didFinishLaunching();
        delegate.window()->resize(900, 600);
        QTRY_COMPARE(delegate.window()->size(), QSize(900, 600));
        player.useSoundBank(QStringLiteral("Banjo"));
        player.setVolume(0.25f);
        piano(delegate)->metronomePlusSelected();
        piano(delegate)->metronomePlusSelected();
        piano(delegate)->changeTempo(-2);
        piano(delegate)->keysView()->changeOctave(KPOctaveDirection::Lower);
        piano(delegate)->settingsView()->dynamicsSwitch()->setChecked(true);
        delegate.applicationWillTerminate();
    }
    player.useSoundBank(QStringLiteral("Grand Piano"));
    player.setVolume(1.0f);
    KPAppDelegate again(store.defaults);
    again.setSoundPlayer(&player);
    again.didFinishLaunching();
    again.restoreSound();
    QCOMPARE(again.window()->size(), QSize(900, 600));
    QCOMPARE(player.activeSoundBank(), QStringLiteral("Banjo"));
    QCOMPARE(player.volume(), 0.25f);
    QCOMPARE(piano(again)->metronome()->beatsPerMinute(), 138u);
    QCOMPARE(piano(again)->labelMetronome()->text(), QStringLiteral("BPM: 138"));
    QCOMPARE(piano(again)->keysView()->currentOctave(), 1u);
    QVERIFY(piano(again)->keysView()->dynamics());
}

// The tablet's 1024x768 on a smaller screen (the offscreen one is 800x800): the first window
// fits it with room for a title bar and borders, in the designed shape.
void TestApp::firstWindowFitsTheScreen()
{
    KPDeviceIdiom::setCurrent(KPIdiom::Pad);
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    delegate.didFinishLaunching();
    const QSize room = delegate.window()->screen()->availableGeometry().size();
    QVERIFY(room.width() < 1024);
    const QSize size = delegate.window()->size();
    QVERIFY2(size.height() <= room.height() - 30 && size.width() < room.width(),
             qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    QCOMPARE(size.width() * 3, size.height() * 4);
}

// The free area of a screen less a title bar: four octaves where they fit at two thirds of the
// designed scale or more, else the designed shape.
void TestApp::firstWindowShowsFourOctavesWhereThereIsRoom_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<QSize>("room");
    QTest::addColumn<bool>("fourOctaves");
    QTest::newRow("tablet, 1920x1080") << KPIdiom::Pad << QSize(1904, 1000) << true;
    QTest::newRow("tablet, 1366x768") << KPIdiom::Pad << QSize(1350, 700) << true;
    QTest::newRow("tablet, 1024x768") << KPIdiom::Pad << QSize(1008, 720) << false;
    QTest::newRow("phone, 1024x600") << KPIdiom::Phone << QSize(1008, 552) << true;
    QTest::newRow("phone, 800x480") << KPIdiom::Phone << QSize(784, 432) << false;
}

void TestApp::firstWindowShowsFourOctavesWhereThereIsRoom()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(QSize, room);
    QFETCH(bool, fourOctaves);
    KPDeviceIdiom::setCurrent(idiom);
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    delegate.didFinishLaunching();
    KPWindow* window = delegate.window();
    const KPPianoView* piano = window->rootView()->findChild<KPPianoView*>();
    const QSize designed = KPDeviceIdiom::windowSize(idiom);
    const QSize size = KPWindow::firstSize(designed, piano->widthShowingOctaves(4), room);
    QVERIFY(size.width() <= room.width() && size.height() <= room.height());
    window->resize(size);
    QTRY_COMPARE(window->size(), size);
    const float whiteKey = piano->keysView()->contentWidth() / KPKeyboardLayout::whiteKeyCount;
    const int shown = int(std::lround(piano->keysView()->width() / whiteKey));
    QCOMPARE(shown >= 28, fourOctaves);
    if (!fourOctaves)
        QCOMPARE(size.width() * designed.height(), size.height() * designed.width());
}

void TestApp::lifecycleEventsFollowTheApplicationState()
{
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    delegate.observe(*qApp);
    QSignalSpy began(&delegate, &KPAppDelegate::interruptionBegan);
    QSignalSpy ended(&delegate, &KPAppDelegate::interruptionEnded);

    become(Qt::ApplicationActive);
    // Losing the focus is the background, but the sound only stops while suspended.
    become(Qt::ApplicationInactive);
    become(Qt::ApplicationActive);
    QCOMPARE(began.size(), 0);
    become(Qt::ApplicationHidden);
    become(Qt::ApplicationSuspended);
    QCOMPARE(began.size(), 1);
    QCOMPARE(ended.size(), 0);
    become(Qt::ApplicationActive);
    QCOMPARE(began.size(), 1);
    QCOMPARE(ended.size(), 1);
}

void TestApp::foregroundsCountOnceTheRatingPromptIsLaunched()
{
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    // Counted uses run one after another: a last one, waited for, follows all that came before.
    const auto uses = [] {
        KPRatingPrompt::sharedInstance().appEnteredForeground(false).waitForFinished();
        return KPUserDefaults::standard().value(QString::fromLatin1(KPRatingPrompt::kUseCount));
    };
    const int before = uses().toInt();
    delegate.applicationWillEnterForeground();
    QCOMPARE(uses().toInt(), before + 1);
    delegate.setAppID(QStringLiteral("7"));
    delegate.initializeRatingPrompt();
    delegate.applicationWillEnterForeground();
    QCOMPARE(uses().toInt(), before + 4);

    // Focus leaving and coming back is no new use; a return from hidden is. (Each reading
    // counts one use itself.)
    delegate.observe(*qApp);
    become(Qt::ApplicationActive);
    const int focused = uses().toInt();
    become(Qt::ApplicationInactive);
    become(Qt::ApplicationActive);
    QCOMPARE(uses().toInt(), focused + 1);
    become(Qt::ApplicationHidden);
    become(Qt::ApplicationActive);
    QCOMPARE(uses().toInt(), focused + 3);
}

void TestApp::soundComesBackOnEveryReturnFromSuspension_data()
{
    QTest::addColumn<QList<Qt::ApplicationState>>("path");
    using L = QList<Qt::ApplicationState>;
    const auto S = Qt::ApplicationSuspended;
    const auto I = Qt::ApplicationInactive;
    const auto H = Qt::ApplicationHidden;
    QTest::newRow("directly") << L{S};
    QTest::newRow("through inactive") << L{S, I};
    QTest::newRow("through hidden") << L{S, H};
    QTest::newRow("through hidden and inactive") << L{S, H, I};
    QTest::newRow("suspended twice on the way") << L{S, H, S, I};
}

// Whichever way the application comes back, the interruption ends once, when it is active.
void TestApp::soundComesBackOnEveryReturnFromSuspension()
{
    QFETCH(QList<Qt::ApplicationState>, path);
    TemporaryDefaults store;
    KPAppDelegate delegate(store.defaults);
    delegate.observe(*qApp);
    QSignalSpy began(&delegate, &KPAppDelegate::interruptionBegan);
    QSignalSpy ended(&delegate, &KPAppDelegate::interruptionEnded);
    for (Qt::ApplicationState state : path)
        become(state);
    QCOMPARE(began.size(), 1);
    QCOMPARE(ended.size(), 0);
    become(Qt::ApplicationActive);
    QCOMPARE(ended.size(), 1);
    become(Qt::ApplicationInactive);
    become(Qt::ApplicationActive);
    QCOMPARE(began.size(), 1);
    QCOMPARE(ended.size(), 1);
}

void TestApp::helpAndVersionNeedNoDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("answer");
    QTest::newRow("help") << "--help"
                          << "--idiom <phone|tablet|other>";
    QTest::newRow("version") << "--version"
                             << "touchpiano " TOUCHPIANO_VERSION;
}

// Asked on a terminal with no display, the program answers and ends well.
void TestApp::helpAndVersionNeedNoDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, answer);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KP_PROGRAM), {option});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(program.readAllStandardOutput().contains(answer.toUtf8()),
             qPrintable(program.readAllStandardError()));
}

// Nothing waits for the window to lose the focus or quit: a kill a second after the take loses
// nothing, and closing the window in the middle of one keeps it.
void TestApp::aTakeIsOnDiskASecondAfterItEnds()
{
    TemporaryDefaults store;
    KPTestClock clock;
    KPSoundPlayer player;
    KPNotePerformer performer(player);
    KPRecordingsManager recordings(KPRecordingsManager::recordingsDataFile(), &player);
    recordings.setPerformer(&performer);
    KPAppDelegate delegate(store.defaults);
    delegate.setRecordingsManager(&recordings);
    delegate.didFinishLaunching();
    QVERIFY(delegate.window()->rootView());
    auto* piano = delegate.window()->rootView()->findChild<KPPianoView*>();
    QVERIFY(piano);
    piano->setPerformer(&performer);
    KPRecordingsStore archive(KPRecordingsManager::recordingsDataFile());
    const qsizetype before = archive.load().size();
    const auto take = [&] {
        piano->recordSelected();
        for (uint32_t key : {14u, 15u, 16u}) {
            const uint32_t note = KPKeyboardLayout::midiIndexForKey(key);
            performer.noteOn(KPNoteSource::Touch, note, KPPianoKeyAction::kFullVelocity);
            clock.advance(std::chrono::milliseconds(200));
            performer.noteOff(KPNoteSource::Touch, note);
        }
    };
    take();
    piano->recordSelected();
    clock.advance(std::chrono::seconds(1));
    QTRY_COMPARE(archive.load().size(), before + 1);
    QCOMPARE(archive.load().first().actions.size(), 6);

    take();
    delegate.applicationWillTerminate();
    QCOMPARE(archive.load().size(), before + 2);
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
