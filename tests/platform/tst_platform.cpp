#include "platform/KPAppPaths.h"
#include "platform/KPBundle.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPGridTimer.h"
#include "platform/KPLocalization.h"
#include "platform/KPPropertyList.h"
#include "platform/KPUiLoader.h"
#include "platform/KPUserDefaults.h"

#include "KPTestClock.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace std::chrono_literals;
using Clock = KPGridTimer::Clock;

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void idiomFromScreenSize_data();
    void idiomFromScreenSize();
    void idiomFromName();

    void delayedCallRunsOnceAfterItsDelay();
    void cancelEndsEveryPendingCallOfThatTargetOnly();
    void delayedCallMayCancelAndRescheduleItsOwnTarget();
    void delayedCallDiesWithItsTarget();

    void nextFireDateKeepsTheGrid_data();
    void nextFireDateKeepsTheGrid();
    void gridTimerIsDueOneIntervalAfterItWasMade();
    void lateScheduledTimerFiresAtOnceThenKeepsItsGrid();
    void invalidatedTimerNeverFiresAgain();
    void timerMayInvalidateItselfFromItsAction();

    void bundleFindsResourcesByNameInAnySubfolder();
    void integerValueReadsNumbersAndNumericStrings();
    void registeredDefaultsAnswerOnlyWhereNothingWasSet();
    void localizedTextsExistInEveryLanguage_data();
    void localizedTextsExistInEveryLanguage();

    void uiLoaderLoadsNoDesignerPlugins();
    void privateFoldersAreTheOwnersAlone();
};

void TestPlatform::idiomFromScreenSize_data()
{
    QTest::addColumn<QSizeF>("points");
    QTest::addColumn<KPIdiom>("idiom");
    QTest::newRow("phone landscape") << QSizeF(480, 320) << KPIdiom::Phone;
    QTest::newRow("tablet exactly") << QSizeF(1024, 768) << KPIdiom::Pad;
    QTest::newRow("tablet portrait") << QSizeF(768, 1024) << KPIdiom::Pad;
    QTest::newRow("wide but short") << QSizeF(1280, 720) << KPIdiom::Phone;
    QTest::newRow("desktop") << QSizeF(1920, 1080) << KPIdiom::Pad;
}

void TestPlatform::idiomFromScreenSize()
{
    QFETCH(QSizeF, points);
    QFETCH(KPIdiom, idiom);
    QCOMPARE(KPDeviceIdiom::fromScreenSize(points), idiom);
}

void TestPlatform::idiomFromName()
{
    QCOMPARE(KPDeviceIdiom::fromName(u"phone"), KPIdiom::Phone);
    QCOMPARE(KPDeviceIdiom::fromName(u"tablet"), KPIdiom::Pad);
    QCOMPARE(KPDeviceIdiom::fromName(u"other"), KPIdiom::Other);
    QVERIFY(!KPDeviceIdiom::fromName(u"watch"));

    KPDeviceIdiom::setCurrent(KPIdiom::Other);
    QVERIFY(!KPDeviceIdiom::isPhone());
    QVERIFY(!KPDeviceIdiom::isPad());
    QCOMPARE(KPDeviceIdiom::windowSize(KPIdiom::Other), QSize(1024, 768));
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
}

void TestPlatform::delayedCallRunsOnceAfterItsDelay()
{
    KPTestClock clock;
    QObject target;
    int calls = 0;
    KPDelayedCalls::perform(&target, 50ms, [&] { ++calls; });
    QCOMPARE(KPDelayedCalls::pendingCount(&target), 1);
    clock.advance(49ms);
    QCOMPARE(calls, 0);
    clock.advance(1ms);
    QCOMPARE(calls, 1);
    clock.advance(100ms);
    QCOMPARE(calls, 1);
    QCOMPARE(KPDelayedCalls::pendingCount(&target), 0);
}

void TestPlatform::cancelEndsEveryPendingCallOfThatTargetOnly()
{
    KPTestClock clock;
    QObject target;
    QObject other;
    int targetCalls = 0;
    int otherCalls = 0;
    KPDelayedCalls::perform(&target, 20ms, [&] { ++targetCalls; });
    KPDelayedCalls::perform(&target, 30ms, [&] { ++targetCalls; });
    KPDelayedCalls::perform(&other, 20ms, [&] { ++otherCalls; });
    KPDelayedCalls::cancelPreviousPerformRequests(&target);
    QCOMPARE(KPDelayedCalls::pendingCount(&target), 0);
    clock.advance(40ms);
    QCOMPARE(otherCalls, 1);
    QCOMPARE(targetCalls, 0);
}

void TestPlatform::delayedCallMayCancelAndRescheduleItsOwnTarget()
{
    // The blink of the record button re-arms itself from inside its own call.
    KPTestClock clock;
    QObject target;
    int calls = 0;
    std::function<void()> step = [&] {
        ++calls;
        KPDelayedCalls::cancelPreviousPerformRequests(&target);
        if (calls < 3)
            KPDelayedCalls::perform(&target, 5ms, step);
    };
    KPDelayedCalls::perform(&target, 5ms, step);
    clock.advance(14ms);
    QCOMPARE(calls, 2);
    clock.advance(30ms);
    QCOMPARE(calls, 3);
}

void TestPlatform::delayedCallDiesWithItsTarget()
{
    KPTestClock clock;
    int calls = 0;
    {
        QObject target;
        KPDelayedCalls::perform(&target, 5ms, [&] { ++calls; });
    }
    clock.advance(10ms);
    QCOMPARE(calls, 0);
}

void TestPlatform::nextFireDateKeepsTheGrid_data()
{
    QTest::addColumn<int>("nowMs");
    QTest::addColumn<int>("expectedMs");
    // Grid: fire date at 100 ms, interval 100 ms.
    QTest::newRow("fired on time") << 100 << 200;
    QTest::newRow("fired a little late") << 130 << 200;
    QTest::newRow("missed one firing") << 250 << 300;
    QTest::newRow("missed many firings") << 1010 << 1100;
    QTest::newRow("exactly on a later point") << 300 << 400;
}

void TestPlatform::nextFireDateKeepsTheGrid()
{
    QFETCH(int, nowMs);
    QFETCH(int, expectedMs);
    const Clock::time_point origin;
    const auto next = KPGridTimer::nextFireDate(origin + 100ms, 100ms, origin + 1ms * nowMs);
    QCOMPARE(std::chrono::duration_cast<std::chrono::milliseconds>(next - origin).count(),
             expectedMs);
}

void TestPlatform::gridTimerIsDueOneIntervalAfterItWasMade()
{
    KPTestClock clock;
    const auto made = clock.now();
    QList<Clock::time_point> firings;
    KPGridTimer timer(100ms, [&] { firings << clock.now(); });
    clock.advance(30ms);
    timer.schedule();
    clock.advance(300ms);
    QCOMPARE(firings, (QList<Clock::time_point>{made + 100ms, made + 200ms, made + 300ms}));
}

void TestPlatform::lateScheduledTimerFiresAtOnceThenKeepsItsGrid()
{
    KPTestClock clock;
    const auto made = clock.now();
    QList<Clock::time_point> firings;
    KPGridTimer timer(100ms, [&] { firings << clock.now(); });
    clock.advance(250ms);
    timer.schedule();
    clock.advance(0ms);
    QCOMPARE(firings, QList<Clock::time_point>{made + 250ms});
    // The next firing lands on the grid of the timer's making, not 100 ms after the late one.
    clock.advance(50ms);
    QCOMPARE(firings, (QList<Clock::time_point>{made + 250ms, made + 300ms}));
}

void TestPlatform::invalidatedTimerNeverFiresAgain()
{
    KPTestClock clock;
    int calls = 0;
    KPGridTimer timer(20ms, [&] { ++calls; });
    timer.schedule();
    clock.advance(20ms);
    QCOMPARE(calls, 1);
    timer.invalidate();
    timer.schedule();
    clock.advance(80ms);
    QCOMPARE(calls, 1);
    QVERIFY(!timer.isScheduled());
}

void TestPlatform::timerMayInvalidateItselfFromItsAction()
{
    KPTestClock clock;
    int calls = 0;
    KPGridTimer timer(10ms, [&] {
        if (++calls == 2)
            timer.invalidate();
    });
    timer.schedule();
    clock.advance(100ms);
    QCOMPARE(calls, 2);
}

void TestPlatform::bundleFindsResourcesByNameInAnySubfolder()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("sounds/Grand Piano")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("Settings.bundle")));
    QFile sample(root.filePath(QStringLiteral("sounds/Grand Piano/grand_piano_060.wav")));
    QVERIFY(sample.open(QIODevice::WriteOnly));
    sample.close();

    KPBundle::setResourceRoot(root.path());
    QCOMPARE(KPBundle::pathForResource(QStringLiteral("grand_piano_060"), QStringLiteral("wav")),
             sample.fileName());
    QCOMPARE(KPBundle::pathForResource(QStringLiteral("Settings"), QStringLiteral("bundle")),
             root.filePath(QStringLiteral("Settings.bundle")));
    QVERIFY(KPBundle::pathForResource(QStringLiteral("grand_piano_060"), QStringLiteral("mp3"))
                .isEmpty());
    QVERIFY(KPBundle::pathForResource(QString(), QStringLiteral("wav")).isEmpty());
    KPBundle::setResourceRoot(QString());
}

void TestPlatform::integerValueReadsNumbersAndNumericStrings()
{
    const auto root = KPPropertyList::readFile(QStringLiteral(KP_TEST_DATA_DIR "/values.plist"));
    QVERIFY(root);
    QCOMPARE(plist_get_node_type(root.get()), PLIST_ARRAY);
    const auto item = [&](uint32_t i) {
        return plist_array_get_item(root.get(), i);
    };
    QCOMPARE(KPPropertyList::integerValue(item(0)), 44100);
    QCOMPARE(KPPropertyList::integerValue(item(1)), 22050); // a string holding a number
    QCOMPARE(KPPropertyList::integerValue(item(2)), -5);    // negative, kept unsigned by libplist
    QCOMPARE(KPPropertyList::integerValue(item(3)), 60);    // a real
    QCOMPARE(KPPropertyList::integerValue(item(4)), 0);     // a string without digits
    QVERIFY(!KPPropertyList::integerValue(item(5)));        // a dictionary
    QVERIFY(!KPPropertyList::readFile(QStringLiteral(KP_TEST_DATA_DIR "/not-a-plist.txt")));
    QVERIFY(!KPPropertyList::readFile(QStringLiteral(KP_TEST_DATA_DIR "/missing.plist")));
}

void TestPlatform::registeredDefaultsAnswerOnlyWhereNothingWasSet()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("defaults.ini"));
    {
        KPUserDefaults defaults(std::make_unique<QSettings>(file, QSettings::IniFormat));
        defaults.registerDefaults({{QStringLiteral("volume"), 7}, {QStringLiteral("name"), "a"}});
        defaults.setValue(QStringLiteral("name"), QStringLiteral("mine"));
        QCOMPARE(defaults.value(QStringLiteral("volume")).toInt(), 7);
        QCOMPARE(defaults.value(QStringLiteral("name")).toString(), QStringLiteral("mine"));
        QVERIFY(!defaults.value(QStringLiteral("unknown")).isValid());
    }
    QSettings written(file, QSettings::IniFormat);
    QVERIFY(!written.contains(QStringLiteral("volume")));
    QCOMPARE(written.value(QStringLiteral("name")).toString(), QStringLiteral("mine"));
}

void TestPlatform::localizedTextsExistInEveryLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("lang");
    QTest::newRow("English") << "en_US"
                             << "en";
    QTest::newRow("German") << "de_DE"
                            << "de";
    QTest::newRow("French") << "fr_FR"
                            << "fr";
    QTest::newRow("unknown language falls back to English") << "ja_JP"
                                                            << "en";
}

void TestPlatform::localizedTextsExistInEveryLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, lang);
    QVERIFY(KPLocalization::install(QLocale(language)));
    for (const char* key : {"SAVE",
                            "NORECORD",
                            "TAPTO",
                            "CHOOSE",
                            "LANG",
                            "RATE",
                            "RATETITLE",
                            "RATECANCEL",
                            "RATEBTN",
                            "RATELATER",
                            "DELETE",
                            "RECORDINGS",
                            "CLIWRONG",
                            "CLINORECORDINGS",
                            "CLINOTES",
                            "CLINOFOLDER",
                            "CLIEXISTS",
                            "CLIEXPORTED",
                            "IMPORTSUMMARY",
                            "IMPORTMORE",
                            "IMPORTFAILED",
                            "IMPORTNOTICE",
                            "LEFTOUT",
                            "LEFTOUTRANGE",
                            "LEFTOUTDRUMS",
                            "LEFTOUTNOTES",
                            "LEFTOUTLENGTH",
                            "ARCHIVEPARTLY",
                            "ARCHIVETOOLARGE",
                            "SAVEFAILED",
                            "ARCHIVEUNREADABLE",
                            "OUTPUTLOST",
                            "OUTPUTLOSTSILENT"})
        QVERIFY2(!KPLocalization::string(key).isEmpty(), key);
    QCOMPARE(KPLocalization::string("LANG"), lang);
    QVERIFY(KPLocalization::string("CHOOSE").contains(QLatin1String("%1")));
    QCOMPARE(KPLocalization::string("NO_SUCH_KEY"), QString());
}

// Qt Designer's widget plugins (where Designer is installed) are not for our interface files:
// a loader loads none of them, and leaves the library paths as they were.
void TestPlatform::uiLoaderLoadsNoDesignerPlugins()
{
    const QStringList paths = QCoreApplication::libraryPaths();
    KPUiLoader loader;
    QCOMPARE(QCoreApplication::libraryPaths(), paths);
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("/plugins/designer/"));
}

QTEST_GUILESS_MAIN(TestPlatform)
// Whatever the umask, and also a folder that was made open before.
void TestPlatform::privateFoldersAreTheOwnersAlone()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("data/touchpiano"));
    const mode_t previous = ::umask(022);
    QVERIFY(KPAppPaths::makePrivateFolder(folder));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther));
    QVERIFY(KPAppPaths::makePrivateFolder(folder));
    ::umask(previous);
    struct stat info
    {
    };
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0700u);
}

#include "tst_platform.moc"
