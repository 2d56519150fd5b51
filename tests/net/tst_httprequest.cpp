#include "app/KPAppDelegate.h"
#include "app/KPViewController.h"
#include "KPFakeReachabilityBackend.h"
#include "KPLogCapture.h"
#include "KPTestHttpServer.h"
#include "net/KPHTTPRequest.h"

#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Response = KPTestHttpServer::Response;
const QString kAppInfoPath = QStringLiteral("/functions/get_app_info.php");
const QString kFallbackAdWhirl = QStringLiteral("5c1f0e8d2b7a4936a0e4d8c3f1b62a97");
const QString kFallbackAdMob = QStringLiteral("a3f9c2e71b0d845");

// What one request ended in.
struct Outcome
{
    int results = 0;
    int failures = 0;
    QByteArray body;
    bool failedBeforeItsLogLine = false;
};

Outcome load(const QString& url, qint64 limit = KPHTTPRequest::kJsonBodyLimit,
             std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    Outcome outcome;
    KPLogCapture log;
    QObject owner;
    QPointer<KPHTTPRequest> request = new KPHTTPRequest(limit, &owner);
    request->setTimeout(timeout);
    QObject::connect(request, &KPHTTPRequest::requestResult, [&outcome](const QByteArray& body) {
        ++outcome.results;
        outcome.body = body;
    });
    QObject::connect(request, &KPHTTPRequest::requestFailure, [&outcome, &log] {
        ++outcome.failures;
        outcome.failedBeforeItsLogLine = log.lines(QStringLiteral("KPHTTPRequest:")).isEmpty();
    });
    request->httpRequest(url);
    // Done once it is gone: it deletes itself after its one report. The counts tell the rest.
    static_cast<void>(QTest::qWaitFor([&request] { return request.isNull(); }, 20000));
    return outcome;
}

Response bytes(int size, bool declareLength = true)
{
    Response response;
    response.body = QByteArray(size, 'a');
    response.declareLength = declareLength;
    return response;
}

// An application delegate whose reachability the test decides and whose rating prompt is
// only counted.
class ExchangeDelegate : public KPAppDelegate
{
public:
    using KPAppDelegate::KPAppDelegate;
    KPFakeReachabilityBackend* backend = nullptr;
    int ratingPrompts = 0;

    void initializeRatingPrompt() override { ++ratingPrompts; }

protected:
    KPReachabilityBackend* reachabilityBackend() const override { return backend; }
};

} // namespace

Q_DECLARE_METATYPE(KPTestHttpServer::Response)

class TestHTTPRequest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oneOutcomePerRequest_data();
    void oneOutcomePerRequest();
    void unloadableURLsFailAtOnce_data();
    void unloadableURLsFailAtOnce();
    void idleTransferTimesOut();
    void postSendsItsBodyAndTellsTheStatus();
    void nothingIsReportedOnceTheOwnerIsGone();

    void answerIsStored_data();
    void answerIsStored();
    void requestNamesTheBundle();
    void offlineAtLaunchAsksOnceOnline();
    void withoutNotificationsNothingIsAsked();

private:
    KPTestHttpServer m_server;
    QTemporaryDir m_dir;
};

void TestHTTPRequest::initTestCase()
{
    QVERIFY(m_server.isListening());
    Response html;
    html.status = 500;
    html.contentType = "text/html";
    html.body = "<html><body>Internal error</body></html>";
    m_server.answer("/error", html);
    Response redirect;
    redirect.status = 302;
    redirect.body = "first body";
    redirect.location = m_server.url(QStringLiteral("/final")).toEncoded();
    m_server.answer("/redirect", redirect);
    m_server.answerJson("/final", "final body");
    m_server.answer("/limit", bytes(KPHTTPRequest::kJsonBodyLimit));
    m_server.answer("/oversized", bytes(KPHTTPRequest::kJsonBodyLimit + 1));
    m_server.answer("/oversized-undeclared", bytes(KPHTTPRequest::kJsonBodyLimit + 1, false));
    Response endless;
    endless.endless = true;
    m_server.answer("/endless", endless);
    Response silent;
    silent.silent = true;
    m_server.answer("/silent", silent);
    qputenv("TOUCHPIANO_APP_SERVER", m_server.base().toUtf8());
}

void TestHTTPRequest::oneOutcomePerRequest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("an error page is an answer")
        << "/error" << true << QByteArray("<html><body>Internal error</body></html>");
    QTest::newRow("a missing page is an answer") << "/nothing" << true << QByteArray("not found");
    QTest::newRow("a redirection keeps the last body")
        << "/redirect" << true << QByteArray("final body");
    QTest::newRow("a body at the limit")
        << "/limit" << true << QByteArray(KPHTTPRequest::kJsonBodyLimit, 'a');
    QTest::newRow("a body over the limit") << "/oversized" << false << QByteArray();
    QTest::newRow("an undeclared body over the limit")
        << "/oversized-undeclared" << false << QByteArray();
    QTest::newRow("an endless body") << "/endless" << false << QByteArray();
}

void TestHTTPRequest::oneOutcomePerRequest()
{
    QFETCH(QString, path);
    QFETCH(bool, succeeds);
    QFETCH(QByteArray, body);
    const Outcome outcome = load(m_server.url(path).toString());
    QCOMPARE(outcome.results + outcome.failures, 1);
    QCOMPARE(outcome.results, succeeds ? 1 : 0);
    QCOMPARE(outcome.body, body);
    if (!succeeds)
        QVERIFY(outcome.failedBeforeItsLogLine);
}

void TestHTTPRequest::unloadableURLsFailAtOnce_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("a local file") << "file:///etc/hostname";
    QTest::newRow("another scheme") << "ftp://127.0.0.1/file";
    QTest::newRow("no URL at all") << "not a url";
}

void TestHTTPRequest::unloadableURLsFailAtOnce()
{
    QFETCH(QString, url);
    KPLogCapture log;
    QObject owner;
    auto* request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, &owner);
    QSignalSpy failures(request, &KPHTTPRequest::requestFailure);
    request->httpRequest(url);
    QCOMPARE(failures.count(), 1);
    QCOMPARE(log.lines(), QStringList{"KPHTTPRequest: Connection initialization error"});
}

void TestHTTPRequest::idleTransferTimesOut()
{
    KPLogCapture log;
    const Outcome outcome = load(m_server.url(QStringLiteral("/silent")).toString(),
                                 KPHTTPRequest::kJsonBodyLimit, std::chrono::milliseconds(100));
    QCOMPARE(outcome.failures, 1);
    QCOMPARE(log.lines(),
             QStringList{"KPHTTPRequest: Connection failed! Error - The request timed out " +
                         m_server.url(QStringLiteral("/silent")).toString()});
}

void TestHTTPRequest::postSendsItsBodyAndTellsTheStatus()
{
    m_server.clearRequests();
    QObject owner;
    auto* request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, &owner);
    int status = 0;
    connect(request, &KPHTTPRequest::requestResult, this,
            [&status, request] { status = request->statusCode(); });
    request->httpPost(m_server.url(QStringLiteral("/error")).toString(), "report", "text/plain");
    QTRY_COMPARE(status, 500);
    QCOMPARE(m_server.requests().value(0).method, QByteArray("POST"));
    QCOMPARE(m_server.requests().value(0).body, QByteArray("report"));
    QCOMPARE(m_server.requests().value(0).headers.value("content-type"), QByteArray("text/plain"));
}

void TestHTTPRequest::nothingIsReportedOnceTheOwnerIsGone()
{
    auto owner = std::make_unique<QObject>();
    QPointer<KPHTTPRequest> request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, owner.get());
    int reports = 0;
    connect(request, &KPHTTPRequest::requestFailure, this, [&reports] { ++reports; });
    connect(request, &KPHTTPRequest::requestResult, this, [&reports] { ++reports; });
    request->httpRequest(m_server.url(QStringLiteral("/final")).toString());
    owner.reset();
    QVERIFY(request.isNull());
    QTest::qWait(50);
    QCOMPARE(reports, 0);
}

void TestHTTPRequest::answerIsStored_data()
{
    QTest::addColumn<Response>("answer");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("ids"); // appID, adWhirlIphoneID, adMobIpadID
    QTest::addColumn<int>("ratingPrompts");
    const QStringList fallbacks{QString(), kFallbackAdWhirl, kFallbackAdMob};
    const auto json = [](const QByteArray& body) {
        Response r;
        r.body = body;
        return r;
    };
    Response html;
    html.status = 500;
    html.contentType = "text/html";
    html.body = "<html><body>Internal error</body></html>";
    Response array = json("[1, 2]");
    Response silent;
    silent.silent = true;
    QTest::newRow("all given")
        << json(R"({"app_id": "421", "adwhirl_iphone": "w", "admob_ipad": "m", "x": 1})")
        << QStringList() << QStringList{"421", "w", "m"} << 1;
    QTest::newRow("a number is kept as given")
        << json(R"({"app_id": 421, "adwhirl_iphone": "w", "admob_ipad": "m"})") << QStringList()
        << QStringList{"421", "w", "m"} << 1;
    QTest::newRow("all null")
        << json(R"({"app_id": null, "adwhirl_iphone": null, "admob_ipad": null})")
        << QStringList{"KPAppDelegate: Using fallback adwhirl id",
                       "KPAppDelegate: Using fallback admob id"}
        << fallbacks << 0;
    QTest::newRow("keys missing") << json(R"({"admob_ipad": "m"})") << QStringList()
                                  << QStringList{QString(), QString(), "m"} << 1;
    QTest::newRow("a JSON array")
        << array
        << QStringList{"KPAppDelegate: Using fallback ids",
                       "KPAppDelegate: JSON deserialization error: the answer is not a JSON object"}
        << fallbacks << 0;
    QTest::newRow("an HTML page with status 500")
        << html
        << QStringList{"KPAppDelegate: Using fallback ids",
                       "KPAppDelegate: JSON deserialization error: illegal value"}
        << fallbacks << 0;
    QTest::newRow("an oversized answer") << bytes(KPHTTPRequest::kJsonBodyLimit + 1)
                                         << QStringList{"KPAppDelegate: Using fallback ids",
                                                        "KPHTTPRequest: Connection failed! Error - "
                                                        "The answer is larger than 1048576 bytes " +
                                                            m_server.url(kAppInfoPath).toString() +
                                                            "?bundle_id=org_touchpiano_TouchPiano"}
                                         << fallbacks << 0;
}

void TestHTTPRequest::answerIsStored()
{
    QFETCH(Response, answer);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, ids);
    QFETCH(int, ratingPrompts);
    m_server.answer(kAppInfoPath.toUtf8(), answer);
    KPFakeReachabilityBackend backend;
    backend.internet = KPReachabilityFlags(KPReachabilityFlag::Reachable);
    KPUserDefaults defaults(
        std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("d.ini")), QSettings::IniFormat));
    ExchangeDelegate delegate(defaults);
    delegate.backend = &backend;
    KPLogCapture log;
    delegate.didFinishLaunching();
    QTRY_VERIFY(delegate.viewController()->adsInitialized());
    QCOMPARE(log.lines().filter(QRegularExpression("^KP(AppDelegate|HTTPRequest):")), lines);
    QCOMPARE((QStringList{delegate.appID(), delegate.adWhirlIphoneID(), delegate.adMobIpadID()}),
             ids);
    QCOMPARE(delegate.ratingPrompts, ratingPrompts);
}

void TestHTTPRequest::requestNamesTheBundle()
{
    m_server.clearRequests();
    m_server.answerJson(kAppInfoPath.toUtf8(), "{}");
    KPFakeReachabilityBackend backend;
    backend.internet = KPReachabilityFlags(KPReachabilityFlag::Reachable);
    ExchangeDelegate delegate;
    delegate.backend = &backend;
    delegate.didFinishLaunching();
    QTRY_COMPARE(m_server.requests().size(), 1);
    QCOMPARE(m_server.requests().at(0).target,
             QByteArray("/functions/get_app_info.php?bundle_id=org_touchpiano_TouchPiano"));
}

void TestHTTPRequest::offlineAtLaunchAsksOnceOnline()
{
    m_server.clearRequests();
    m_server.answerJson(kAppInfoPath.toUtf8(), R"({"app_id": "1"})");
    KPFakeReachabilityBackend backend;
    backend.internet = KPReachabilityFlags();
    ExchangeDelegate delegate;
    delegate.backend = &backend;
    KPLogCapture log;
    delegate.didFinishLaunching();
    backend.report(KPReachabilityFlags(KPReachabilityFlag::IsWWAN));
    QTest::qWait(50);
    QCOMPARE(m_server.requests().size(), 0);
    backend.report(KPReachabilityFlags(KPReachabilityFlag::Reachable));
    backend.report(KPReachabilityFlags());
    backend.report(KPReachabilityFlags(KPReachabilityFlag::Reachable));
    QTRY_COMPARE(delegate.ratingPrompts, 1);
    QTest::qWait(50);
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(log.lines(QStringLiteral("KPAppDelegate:")),
             (QStringList{"KPAppDelegate: Listening for reachability notifications",
                          "KPAppDelegate: Internet is now reachable"}));
}

void TestHTTPRequest::withoutNotificationsNothingIsAsked()
{
    m_server.clearRequests();
    ExchangeDelegate delegate;
    KPLogCapture log;
    delegate.didFinishLaunching();
    QTest::qWait(50);
    QCOMPARE(m_server.requests().size(), 0);
    QVERIFY(log.lines(QStringLiteral("KPAppDelegate:")).isEmpty());
    QVERIFY(delegate.adWhirlIphoneID().isEmpty());
}

QTEST_MAIN(TestHTTPRequest)
#include "tst_httprequest.moc"
