#include "platform/KPBundle.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPGridTimer.h"
#include "platform/KPLocalization.h"
#include "platform/KPPropertyList.h"
#include "platform/KPUserDefaults.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

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

    void nextFireDateKeepsTheGrid_data();
    void nextFireDateKeepsTheGrid();
    void gridTimerIsDueOneIntervalAfterItWasMade();
    void lateScheduledTimerFiresAtOnceThenKeepsItsGrid();
    void invalidatedTimerNeverFiresAgain();

    void bundleFindsResourcesByNameInAnySubfolder();
    void integerValueReadsNumbersAndNumericStrings();
    void registeredDefaultsAnswerOnlyWhereNothingWasSet();
    void localizedTextsExistInEveryLanguage_data();
    void localizedTextsExistInEveryLanguage();
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
    QObject target;
    int calls = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 firedAfter = -1;
    KPDelayedCalls::perform(&target, 50ms, [&] {
        ++calls;
        firedAfter = clock.elapsed();
    });
    QCOMPARE(KPDelayedCalls::pendingCount(&target), 1);
    QTRY_COMPARE(calls, 1);
    QVERIFY2(firedAfter >= 49, qPrintable(QString::number(firedAfter)));
    QTest::qWait(80);
    QCOMPARE(calls, 1);
    QCOMPARE(KPDelayedCalls::pendingCount(&target), 0);
}

void TestPlatform::cancelEndsEveryPendingCallOfThatTargetOnly()
{
    QObject target;
    QObject other;
    int targetCalls = 0;
    int otherCalls = 0;
    KPDelayedCalls::perform(&target, 20ms, [&] { ++targetCalls; });
    KPDelayedCalls::perform(&target, 30ms, [&] { ++targetCalls; });
    KPDelayedCalls::perform(&other, 20ms, [&] { ++otherCalls; });
    KPDelayedCalls::cancelPreviousPerformRequests(&target);
    QCOMPARE(KPDelayedCalls::pendingCount(&target), 0);
    QTRY_COMPARE(otherCalls, 1);
    QTest::qWait(40);
    QCOMPARE(targetCalls, 0);
}

void TestPlatform::delayedCallMayCancelAndRescheduleItsOwnTarget()
{
    // The blink of the record button re-arms itself from inside its own call.
    QObject target;
    int calls = 0;
    std::function<void()> step = [&] {
        ++calls;
        KPDelayedCalls::cancelPreviousPerformRequests(&target);
        if (calls < 3)
            KPDelayedCalls::perform(&target, 5ms, step);
    };
    KPDelayedCalls::perform(&target, 5ms, step);
    QTRY_COMPARE(calls, 3);
    QTest::qWait(30);
    QCOMPARE(calls, 3);
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
    QList<Clock::time_point> firings;
    KPGridTimer timer(100ms, [&] { firings << Clock::now(); });
    const auto made = Clock::now();
    timer.schedule();
    QTRY_COMPARE_WITH_TIMEOUT(firings.size(), 3, 1000);
    timer.invalidate();
    for (int i = 0; i < 3; ++i) {
        const double ms = std::chrono::duration<double, std::milli>(firings[i] - made).count();
        const double ideal = 100.0 * (i + 1);
        QVERIFY2(ms >= ideal - 0.5 && ms < ideal + 30, qPrintable(QString::number(ms)));
    }
}

void TestPlatform::lateScheduledTimerFiresAtOnceThenKeepsItsGrid()
{
    QList<Clock::time_point> firings;
    KPGridTimer timer(100ms, [&] { firings << Clock::now(); });
    const auto made = Clock::now();
    QTest::qWait(250);
    const auto scheduled = Clock::now();
    timer.schedule();
    QTRY_COMPARE_WITH_TIMEOUT(firings.size(), 2, 1000);
    timer.invalidate();
    const double first = std::chrono::duration<double, std::milli>(firings[0] - scheduled).count();
    QVERIFY2(first < 30, qPrintable(QString::number(first)));
    // The next firing lands on the grid of the timer's making (300 ms), not 100 ms after the
    // late one.
    const double second = std::chrono::duration<double, std::milli>(firings[1] - made).count();
    QVERIFY2(second >= 299.5 && second < 330, qPrintable(QString::number(second)));
}

void TestPlatform::invalidatedTimerNeverFiresAgain()
{
    int calls = 0;
    KPGridTimer timer(20ms, [&] { ++calls; });
    timer.schedule();
    QTRY_VERIFY(calls >= 1);
    timer.invalidate();
    const int seen = calls;
    timer.schedule();
    QTest::qWait(80);
    QCOMPARE(calls, seen);
    QVERIFY(!timer.isScheduled());
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
    for (const char* key : {"SAVE", "NORECORD", "TAPTO", "CHOOSE", "LANG", "RATE", "RATETITLE",
                            "RATECANCEL", "RATEBTN", "RATELATER"})
        QVERIFY2(!KPLocalization::string(key).isEmpty(), key);
    QCOMPARE(KPLocalization::string("LANG"), lang);
    QVERIFY(KPLocalization::string("CHOOSE").contains(QLatin1String("%1")));
    QCOMPARE(KPLocalization::string("NO_SUCH_KEY"), QString());
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
