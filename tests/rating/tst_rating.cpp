#include "net/KPReachabilityBackend.h"
#include "platform/KPLocalization.h"
#include "rating/KPRatingPrompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr double kDay = 86400;
constexpr double kStart = 1.8e9;
using Flags = std::optional<KPReachabilityFlags>;

class FakeNetwork : public KPReachabilityBackend
{
public:
    Flags answer = KPReachabilityFlag::Reachable;
    Flags flags(bool) const override { return answer; }
};

// Stands in for the system's browser: notes the pages it is asked to open.
class Browser : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

// A prompt configured as at launch, on a store of its own, with a clock the test moves.
struct Rig
{
    QTemporaryDir dir;
    KPUserDefaults defaults{
        std::make_unique<QSettings>(dir.filePath(QStringLiteral("d.ini")), QSettings::IniFormat)};
    FakeNetwork network;
    double now = kStart;
    KPRatingPrompt prompt{defaults, &network, [this] {
                              return now;
                          }};

    // The launch plus some uses in the first 40 hours.
    explicit Rig(int uses = 10)
    {
        prompt.setDaysUntilPrompt(2);
        prompt.setUsesUntilPrompt(10);
        defaults.setValue(QStringLiteral("StoreServer"), QStringLiteral("https://store.example"));
        prompt.launch(QStringLiteral("123"));
        for (int i = 0; i < uses; ++i) {
            now = kStart + i * 4 * 3600;
            use();
        }
    }
    // One counted use at the clock's time; answers whether the prompt is on screen after it.
    bool use(bool canPrompt = true)
    {
        prompt.appEnteredForeground(canPrompt).waitForFinished();
        QCoreApplication::sendPostedEvents();
        return prompt.ratingAlert() && prompt.ratingAlert()->isVisible();
    }
    bool useAt(double when)
    {
        now = kStart + when;
        return use();
    }
    QVariant stored(const char* key) const { return defaults.value(QString::fromLatin1(key)); }
    void answer(QMessageBox::ButtonRole role)
    {
        for (QAbstractButton* button : prompt.ratingAlert()->buttons())
            if (prompt.ratingAlert()->buttonRole(button) == role)
                button->click();
    }
};

} // namespace

class TestRating : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void conditionsAtACountedUse_data();
    void conditionsAtACountedUse();
    void theAlertAsksWithThreeAnswers();
    void answers_data();
    void answers();
    void aNewVersionStartsAfresh();
    void withoutIdentifierNothingIsCounted();
    void rateWithoutAStoreAsksAgain();
    void resigningActiveHidesWithoutAnAnswer();

private:
    Browser m_browser;
};

void TestRating::initTestCase()
{
    KPLocalization::install(QLocale(QLocale::English));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Touch Piano"));
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
}

void TestRating::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void TestRating::init()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    m_browser.opened.clear();
}

void TestRating::conditionsAtACountedUse_data()
{
    QTest::addColumn<int>("uses");
    QTest::addColumn<double>("when");
    QTest::addColumn<bool>("canPrompt");
    QTest::addColumn<Flags>("network");
    QTest::addColumn<bool>("prompted");
    const Flags reachable = KPReachabilityFlag::Reachable;
    QTest::newRow("11 uses, then one two days in") << 10 << 2 * kDay << true << reachable << true;
    QTest::newRow("a second too early") << 10 << 2 * kDay - 1 << true << reachable << false;
    QTest::newRow("only the tenth use") << 8 << 3 * kDay << true << reachable << false;
    QTest::newRow("a use that may not prompt") << 10 << 3 * kDay << false << reachable << false;
    QTest::newRow("a connection to set up first")
        << 10 << 3 * kDay << true
        << Flags(KPReachabilityFlag::Reachable | KPReachabilityFlag::ConnectionRequired) << false;
    QTest::newRow("a transient connection")
        << 10 << 3 * kDay << true << Flags(KPReachabilityFlag::TransientConnection) << true;
    QTest::newRow("no flags") << 10 << 3 * kDay << true << Flags() << false;
}

void TestRating::conditionsAtACountedUse()
{
    QFETCH(int, uses);
    QFETCH(double, when);
    QFETCH(bool, canPrompt);
    QFETCH(Flags, network);
    QFETCH(bool, prompted);
    Rig rig(uses);
    QCOMPARE(rig.stored(KPRatingPrompt::kFirstUseDate).toDouble(), kStart);
    rig.network.answer = network;
    if (!network)
        QTest::ignoreMessage(QtWarningMsg, "Error. Could not recover network reachability flags");
    rig.now = kStart + when;
    QCOMPARE(rig.use(canPrompt), prompted);
    QCOMPARE(rig.stored(KPRatingPrompt::kUseCount).toInt(), uses + 2);
}

void TestRating::theAlertAsksWithThreeAnswers()
{
    Rig rig;
    rig.prompt.setMessage(QStringLiteral("Please rate"));
    QVERIFY(rig.useAt(2 * kDay));
    QMessageBox* alert = rig.prompt.ratingAlert();
    QVERIFY(!alert->isModal());
    QCOMPARE(alert->text(), QStringLiteral("Rate Touch Piano"));
    QCOMPARE(alert->informativeText(), QStringLiteral("Please rate"));
    QCOMPARE(alert->buttons().size(), 3);
    // A second use while it shows does not stack another alert on it.
    QVERIFY(rig.useAt(2 * kDay + 1));
    QCOMPARE(rig.prompt.ratingAlert(), alert);
}

void TestRating::answers_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<double>("silentFor");
    QTest::addColumn<QString>("opened");
    QTest::newRow("no, thanks") << int(QMessageBox::RejectRole) << 1000 * kDay << QString();
    QTest::newRow("rate") << int(QMessageBox::AcceptRole) << 1000 * kDay
                          << QStringLiteral("type=Purple+Software&id=123");
    QTest::newRow("remind me later") << int(QMessageBox::ActionRole) << kDay << QString();
}

void TestRating::answers()
{
    QFETCH(int, role);
    QFETCH(double, silentFor);
    QFETCH(QString, opened);
    Rig rig;
    QVERIFY(rig.useAt(2 * kDay));
    rig.answer(QMessageBox::ButtonRole(role));
    QCOMPARE(m_browser.opened.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(m_browser.opened.first().query(), opened);
    QVERIFY(!rig.useAt(2 * kDay + silentFor - 1));
    QCOMPARE(rig.useAt(2 * kDay + silentFor), silentFor < 1000 * kDay);
}

void TestRating::aNewVersionStartsAfresh()
{
    Rig rig;
    QVERIFY(rig.useAt(2 * kDay));
    rig.answer(QMessageBox::RejectRole);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1"));
    QVERIFY(!rig.useAt(3 * kDay));
    QCOMPARE(rig.stored(KPRatingPrompt::kUseCount).toInt(), 1);
    QCOMPARE(rig.stored(KPRatingPrompt::kFirstUseDate).toDouble(), kStart + 3 * kDay);
    QCOMPARE(rig.stored(KPRatingPrompt::kDeclinedToRate).toBool(), false);
    for (int i = 0; i < 10; ++i)
        QVERIFY(!rig.use());
    QVERIFY(rig.useAt(5 * kDay));
}

void TestRating::withoutIdentifierNothingIsCounted()
{
    Rig rig(0);
    for (const char* identifier : {"", "0", "none"})
        QVERIFY(!rig.prompt.launch(QString::fromLatin1(identifier)));
    rig.use(false);
    QCOMPARE(rig.stored(KPRatingPrompt::kUseCount).toInt(), 2);
}

void TestRating::rateWithoutAStoreAsksAgain()
{
    Rig rig;
    rig.defaults.setValue(QStringLiteral("StoreServer"), QString());
    QVERIFY(rig.useAt(2 * kDay));
    QTest::ignoreMessage(
        QtWarningMsg, "KPRatingPrompt: Could not open https://store.touchpiano.invalid/WebObjects/"
                      "MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=123");
    rig.answer(QMessageBox::AcceptRole);
    QVERIFY(m_browser.opened.isEmpty());
    QVERIFY(rig.useAt(2 * kDay + 1));
}

void TestRating::resigningActiveHidesWithoutAnAnswer()
{
    Rig rig;
    QVERIFY(rig.useAt(2 * kDay));
    QMetaObject::invokeMethod(qApp, "applicationStateChanged",
                              Q_ARG(Qt::ApplicationState, Qt::ApplicationInactive));
    QVERIFY(!rig.prompt.ratingAlert()->isVisible());
    QVERIFY(m_browser.opened.isEmpty());
    // No answer was recorded, so the next counted use asks again.
    QVERIFY(rig.useAt(2 * kDay + 1));
}

QTEST_MAIN(TestRating)

#include "tst_rating.moc"
