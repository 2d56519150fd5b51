#include "app/KPAppDelegate.h"
#include "app/KPViewController.h"
#include "KPFakeReachabilityBackend.h"
#include "KPLogCapture.h"
#include "KPTestHttpServer.h"
#include "net/KPHTTPRequest.h"
#include "net/KPHTTPResponseParser.h"
#include "net/KPServers.h"

#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

using Response = KPTestHttpServer::Response;
const QByteArray kAppInfoPath = "/functions/get_app_info.php";
const QStringList kFallbacks{QString(), "5c1f0e8d2b7a4936a0e4d8c3f1b62a97", "a3f9c2e71b0d845"};
constexpr auto kMemoryChild = "memory-child";

// The process's peak resident memory so far, in kilobytes.
qint64 peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// A child of the test that loads one URL and prints how far its peak memory grew meanwhile.
int runMemoryChild(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QObject owner;
    auto* request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, &owner);
    QObject::connect(request, &KPHTTPRequest::requestResult, &application, &QCoreApplication::quit);
    QObject::connect(request, &KPHTTPRequest::requestFailure, &application,
                     &QCoreApplication::quit);
    const qint64 before = peakKilobytes();
    request->httpRequest(QString::fromLocal8Bit(argv[2]));
    QCoreApplication::exec();
    std::printf("%lld\n", peakKilobytes() - before);
    return 0;
}

// What one request reported: its results, the log meanwhile, and the log when it failed.
struct Outcome
{
    QList<QByteArray> results;
    QStringList log;
    QStringList logAtFailure;
};

Outcome load(const QString& url, std::chrono::milliseconds timeout)
{
    KPLogCapture log;
    QObject owner;
    QPointer<KPHTTPRequest> request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, &owner);
    request->setTimeout(timeout);
    Outcome outcome;
    QObject::connect(request, &KPHTTPRequest::requestResult, &owner,
                     [&](const QByteArray& r) { outcome.results << r; });
    QObject::connect(request, &KPHTTPRequest::requestFailure, &owner,
                     [&] { outcome.logAtFailure << log.lines(); });
    request->httpRequest(url);
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(request.isNull(), 20000);
    }(); // gone once it has reported
    outcome.log = log.lines();
    return outcome;
}

Response answer(const QByteArray& body, int status = 200, bool declareLength = true)
{
    Response response;
    response.body = body;
    response.status = status;
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
    void secureAnswers_data();
    void secureAnswers();
    void postTellsTheStatus();
    void answersAreReadPieceByPiece_data();
    void answersAreReadPieceByPiece();
    void hostileAnswersHoldLittleMemory_data();
    void hostileAnswersHoldLittleMemory();
    void crashReportsGoOverHttpsByDefault();
    void answerIsStored_data();
    void answerIsStored();
    void offlineAtLaunchAsksOnceOnline();

private:
    KPTestHttpServer m_server;
    KPTestHttpServer m_tlsServer{KPTestHttpServer::Transport::Tls};
};

void TestHTTPRequest::initTestCase()
{
    QVERIFY(m_server.isListening());
    m_server.answer("/error", answer("<html>error</html>", 500));
    Response redirect = answer("first body", 302);
    redirect.location = m_server.url(QStringLiteral("/final")).toEncoded();
    m_server.answer("/redirect", redirect);
    m_server.answerJson("/final", "final body");
    m_server.answer("/limit", answer(QByteArray(KPHTTPRequest::kJsonBodyLimit, 'a')));
    m_server.answer("/over",
                    answer(QByteArray(KPHTTPRequest::kJsonBodyLimit + 1, 'a'), 200, false));
    Response endless;
    endless.endless = true;
    m_server.answer("/endless", endless);
    Response silent;
    silent.silent = true;
    m_server.answer("/silent", silent);
    // "/hops/<n>" goes on to "/hops/<n - 1>" by a relative location; "/hops/0" answers.
    m_server.answerJson("/hops/0", "final body");
    for (int hop = 1; hop <= KPHTTPRequest::kMaxRedirects + 1; ++hop) {
        Response next = answer(QByteArray(), 302);
        next.location = QByteArray::number(hop - 1);
        m_server.answer("/hops/" + QByteArray::number(hop), next);
    }
    QVERIFY(m_tlsServer.isListening());
    m_tlsServer.answerJson("/final", "secure body");
    Response down = answer(QByteArray(), 302);
    down.location = m_server.url(QStringLiteral("/final")).toEncoded();
    m_tlsServer.answer("/down", down);
    qputenv("TOUCHPIANO_APP_SERVER", m_server.base().toUtf8());
}

// One result with the body, or one failure logged as the line starting with `failure`.
void verifyOutcome(const Outcome& outcome, const QByteArray& body, const QString& failure)
{
    QCOMPARE(outcome.results.size() + (failure.isEmpty() ? 0 : 1), 1);
    if (failure.isEmpty()) {
        QCOMPARE(outcome.results.value(0), body);
        QVERIFY(outcome.logAtFailure.isEmpty());
    } else {
        QCOMPARE(outcome.log.size(), 1);
        QVERIFY2(outcome.log.at(0).startsWith(failure), qPrintable(outcome.log.at(0)));
    }
}

void TestHTTPRequest::oneOutcomePerRequest_data()
{
    QTest::addColumn<QString>("url"); // a path on the test server, or a whole URL
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("failure"); // the log line's start; empty: a result
    const QString failed = QStringLiteral("KPHTTPRequest: Connection failed! Error - ");
    QTest::newRow("status 500") << "/error" << QByteArray("<html>error</html>") << QString();
    QTest::newRow("redirected") << "/redirect" << QByteArray("final body") << QString();
    QTest::newRow("redirects up to the limit")
        << "/hops/" + QString::number(KPHTTPRequest::kMaxRedirects) << QByteArray("final body")
        << QString();
    QTest::newRow("one redirect too many")
        << "/hops/" + QString::number(KPHTTPRequest::kMaxRedirects + 1) << QByteArray()
        << failed + "Too many redirects";
    QTest::newRow("at the limit") << "/limit" << QByteArray(KPHTTPRequest::kJsonBodyLimit, 'a')
                                  << QString();
    QTest::newRow("over the limit")
        << "/over" << QByteArray() << failed + "The answer is larger than 1048576 bytes";
    QTest::newRow("endless") << "/endless" << QByteArray() << failed + "The answer is larger";
    QTest::newRow("idle") << "/silent" << QByteArray() << failed + "The request timed out";
    QTest::newRow("local file") << "file:///etc/hostname" << QByteArray()
                                << "KPHTTPRequest: Connection initialization error";
}

void TestHTTPRequest::oneOutcomePerRequest()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, body);
    QFETCH(QString, failure);
    const Outcome outcome = load(url.startsWith('/') ? m_server.url(url).toString() : url,
                                 std::chrono::milliseconds(200));
    verifyOutcome(outcome, body, failure);
    if (!failure.isEmpty()) // the receiver hears of a failed transfer before the log does
        QCOMPARE(outcome.logAtFailure.isEmpty(),
                 !failure.contains(QLatin1String("initialization")));
}

void TestHTTPRequest::secureAnswers_data()
{
    QTest::addColumn<QByteArray>("path"); // on the TLS server
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("failure"); // the log line's start; empty: a result
    QTest::addColumn<int>("asked");       // requests the TLS server read
    const QString failed = QStringLiteral("KPHTTPRequest: Connection failed! Error - ");
    QTest::newRow("trusted") << QByteArray("/final") << true << QByteArray("secure body")
                             << QString() << 1;
    QTest::newRow("redirected down to http")
        << QByteArray("/down") << true << QByteArray()
        << failed + "Refused to follow the redirect to " + m_server.url("/final").toString() << 1;
    QTest::newRow("untrusted") << QByteArray("/final") << false << QByteArray() << failed << 0;
}

// Nothing an https request starts ever reaches the plain server.
void TestHTTPRequest::secureAnswers()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, trusted);
    QFETCH(QByteArray, body);
    QFETCH(QString, failure);
    QFETCH(int, asked);
    std::optional<KPTestHttpServer::Trust> trust;
    if (trusted)
        trust.emplace();
    m_server.clearRequests();
    m_tlsServer.clearRequests();
    const Outcome outcome =
        load(m_tlsServer.url(QString::fromLatin1(path)).toString(), std::chrono::seconds(20));
    verifyOutcome(outcome, body, failure);
    QCOMPARE(m_tlsServer.requests().size(), asked);
    QCOMPARE(m_server.requests().size(), 0);
}

void TestHTTPRequest::postTellsTheStatus()
{
    QObject owner;
    auto* request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, &owner);
    int status = 0;
    connect(request, &KPHTTPRequest::requestResult, this, [&] { status = request->statusCode(); });
    request->httpPost(m_server.url(QStringLiteral("/error")).toString(), "report", "text/plain");
    QTRY_COMPARE(status, 500);
    QCOMPARE(m_server.requests().last().method + ' ' + m_server.requests().last().body,
             QByteArray("POST report"));
}

void TestHTTPRequest::answersAreReadPieceByPiece_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error"); // empty: read whole
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    QTest::newRow("a length") << ok + "Content-Length: 5\r\n\r\nhello" << false
                              << QByteArray("hello") << QString();
    QTest::newRow("chunks and trailers")
        << ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6;a=b\r\n world\r\n0\r\nX: "
                "y\r\n\r\n"
        << false << QByteArray("hello world") << QString();
    QTest::newRow("after 100 Continue")
        << "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 2\r\n\r\nok" << false
        << QByteArray("ok") << QString();
    QTest::newRow("up to the close") << ok + "\r\nrest" << true << QByteArray("rest") << QString();
    QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false
                                << QByteArray() << QString();
    QTest::newRow("cut short") << ok + "Content-Length: 9\r\n\r\nhello" << true << QByteArray()
                               << "The connection closed before the answer ended";
    QTest::newRow("declared over the limit")
        << ok + "Content-Length: 12\r\n\r\n"
        << false << QByteArray() << "The answer is larger than 11 bytes";
    QTest::newRow("chunks over the limit")
        << ok + "Transfer-Encoding: chunked\r\n\r\n6\r\nhello \r\n6\r\nworld!\r\n"
        << false << QByteArray() << "The answer is larger than 11 bytes";
    QTest::newRow("headers over the limit")
        << ok + "X: " + QByteArray(KPHTTPResponseParser::kHeaderLimit, 'x') << false << QByteArray()
        << "The answer's headers are larger than 65536 bytes";
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-x\r\n") << false << QByteArray()
                              << "The answer is not HTTP";
}

// Whether the bytes come at once or one by one, the outcome is the same.
void TestHTTPRequest::answersAreReadPieceByPiece()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, closed);
    QFETCH(QByteArray, body);
    QFETCH(QString, error);
    for (const qsizetype piece : {answer.size(), qsizetype(1)}) {
        KPHTTPResponseParser parser(11);
        for (qsizetype at = 0; at < answer.size(); at += piece)
            parser.feed(QByteArrayView(answer).sliced(at, std::min(piece, answer.size() - at)));
        if (closed)
            parser.close();
        QCOMPARE(parser.error(), error);
        QCOMPARE(parser.state(), error.isEmpty() ? KPHTTPResponseParser::State::Done
                                                 : KPHTTPResponseParser::State::Failed);
        if (error.isEmpty())
            QCOMPARE(parser.body(), body);
    }
}

void TestHTTPRequest::hostileAnswersHoldLittleMemory_data()
{
    QTest::addColumn<Response>("response");
    Response gigabyte;
    gigabyte.endless = true;
    gigabyte.declaredLength = qint64(1) << 30;
    Response endless;
    endless.endless = true;
    Response headers;
    headers.endlessHeaders = true;
    QTest::newRow("a gigabyte declared") << gigabyte;
    QTest::newRow("no end, no length") << endless;
    QTest::newRow("headers without end") << headers;
}

// Measured in a child process of its own, which the answer is the only thing to grow.
void TestHTTPRequest::hostileAnswersHoldLittleMemory()
{
    QFETCH(Response, response);
    m_server.answer("/hostile", response);
    QProcess child;
    QSignalSpy finished(&child, &QProcess::finished);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QString::fromLatin1(kMemoryChild), m_server.url(QStringLiteral("/hostile")).toString()});
    QVERIFY(finished.wait(120000));
    bool measured = false;
    const qint64 growth = child.readAllStandardOutput().trimmed().toLongLong(&measured);
    QVERIFY(measured);
    qInfo("peak grew by %lld kB", growth);
    QVERIFY2(growth < 10 * 1024, qPrintable(QString::number(growth)));
}

void TestHTTPRequest::crashReportsGoOverHttpsByDefault()
{
    const QByteArray configured = qgetenv("TOUCHPIANO_APP_SERVER");
    qunsetenv("TOUCHPIANO_APP_SERVER");
    QTemporaryDir dir;
    const KPUserDefaults defaults(
        std::make_unique<QSettings>(dir.filePath(QStringLiteral("d.ini")), QSettings::IniFormat));
    QCOMPARE(KPServers::crashServer(defaults), QStringLiteral("https://apps.touchpiano.invalid"));
    QVERIFY(!KPServers::isConfigured(KPServers::crashServer(defaults)));
    qputenv("TOUCHPIANO_APP_SERVER", configured);
    QCOMPARE(KPServers::crashServer(defaults), QString::fromUtf8(configured));
}

void TestHTTPRequest::answerIsStored_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("ids"); // appID, adWhirlIphoneID, adMobIpadID
    QTest::addColumn<int>("ratingPrompts");
    const QString jsonError = QStringLiteral("KPAppDelegate: JSON deserialization error: ");
    QTest::newRow("all given")
        << answer(R"({"app_id": 421, "adwhirl_iphone": "w", "admob_ipad": "m"})") << QStringList()
        << QStringList{"421", "w", "m"} << 1;
    QTest::newRow("all null")
        << answer(R"({"app_id": null, "adwhirl_iphone": null, "admob_ipad": null})")
        << QStringList{"KPAppDelegate: Using fallback adwhirl id",
                       "KPAppDelegate: Using fallback admob id"}
        << kFallbacks << 0;
    QTest::newRow("keys missing") << answer(R"({"admob_ipad": "m"})") << QStringList()
                                  << QStringList{QString(), QString(), "m"} << 0;
    QTest::newRow("an array") << answer("[1]")
                              << QStringList{"KPAppDelegate: Using fallback ids",
                                             jsonError + "the answer is not a JSON object"}
                              << kFallbacks << 0;
    QTest::newRow("HTML, status 500")
        << answer("<html>error</html>", 500)
        << QStringList{"KPAppDelegate: Using fallback ids", jsonError + "illegal value"}
        << kFallbacks << 0;
    QTest::newRow("oversized")
        << answer(QByteArray(KPHTTPRequest::kJsonBodyLimit + 1, ' '))
        << QStringList{"KPAppDelegate: Using fallback ids",
                       "KPHTTPRequest: Connection failed! Error - The answer is larger than "
                       "1048576 bytes " +
                           m_server.url(kAppInfoPath + "?bundle_id=org_touchpiano_TouchPiano")
                               .toString()}
        << kFallbacks << 0;
}

// Launched online, the delegate asks for this bundle at once and keeps what comes back.
void TestHTTPRequest::answerIsStored()
{
    QFETCH(Response, response);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, ids);
    QFETCH(int, ratingPrompts);
    m_server.answer(kAppInfoPath, response);
    m_server.clearRequests();
    KPFakeReachabilityBackend online;
    online.internet = KPReachabilityFlags(KPReachabilityFlag::Reachable);
    ExchangeDelegate delegate;
    delegate.backend = &online;
    KPLogCapture log;
    delegate.didFinishLaunching();
    QTRY_VERIFY(delegate.viewController()->adsInitialized());
    QCOMPARE(m_server.requests().value(0).target,
             kAppInfoPath + "?bundle_id=org_touchpiano_TouchPiano");
    QCOMPARE(log.lines().filter(QRegularExpression("^KP(AppDelegate|HTTPRequest):")), lines);
    QCOMPARE((QStringList{delegate.appID(), delegate.adWhirlIphoneID(), delegate.adMobIpadID()}),
             ids);
    QCOMPARE(delegate.ratingPrompts, ratingPrompts);
}

void TestHTTPRequest::offlineAtLaunchAsksOnceOnline()
{
    m_server.answerJson(kAppInfoPath, R"({"app_id": "1"})");
    m_server.clearRequests();
    KPFakeReachabilityBackend backend;
    backend.internet = KPReachabilityFlags();
    ExchangeDelegate delegate;
    delegate.backend = &backend;
    KPLogCapture log;
    delegate.didFinishLaunching();
    backend.report(KPReachabilityFlags(KPReachabilityFlag::IsWWAN));
    backend.report(KPReachabilityFlags(KPReachabilityFlag::Reachable));
    backend.report(KPReachabilityFlags());
    backend.report(KPReachabilityFlags(KPReachabilityFlag::Reachable));
    QTRY_COMPARE(delegate.ratingPrompts, 1);
    QCOMPARE(m_server.requests().size(), 1);
    QCOMPARE(log.lines().filter(QStringLiteral("KPAppDelegate:")),
             (QStringList{"KPAppDelegate: Listening for reachability notifications",
                          "KPAppDelegate: Internet is now reachable"}));

    ExchangeDelegate withoutNotifier; // no backend: offline, and no notifications either
    withoutNotifier.didFinishLaunching();
    QTest::qWait(50);
    QCOMPARE(m_server.requests().size(), 1);
}

int main(int argc, char* argv[])
{
    if (argc == 3 && std::strcmp(argv[1], kMemoryChild) == 0)
        return runMemoryChild(argc, argv);
    QApplication application(argc, argv);
    TestHTTPRequest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_httprequest.moc"
