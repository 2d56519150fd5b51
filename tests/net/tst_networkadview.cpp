#include "app/KPViewController.h"
#include "KPLogCapture.h"
#include "KPTestHttpServer.h"
#include "net/KPHTTPRequest.h"
#include "net/KPNetworkAdView.h"
#include "platform/KPDeviceIdiom.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QtTest>

namespace {

using Response = KPTestHttpServer::Response;
const QByteArray kBannerPath = "/promo_banner.php";

// Notes every URL the program asks the system to open.
class UrlOpener : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

QByteArray png(QColor colour)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

Response json(const QByteArray& body)
{
    Response response;
    response.body = body;
    return response;
}

// A closed port: nothing answers there.
QString deadServer()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
}

} // namespace

Q_DECLARE_METATYPE(KPTestHttpServer::Response)

class TestNetworkAdView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void bannerURLCountsPixels_data();
    void bannerURLCountsPixels();
    void bannerSlidesInWithItsAnswer();
    void touchOpensTheLinkAndCloseDoesNot();
    void onlyWebLinksAreOpened();
    void pictureThatFailsOrIsNoPicture_data();
    void pictureThatFailsOrIsNoPicture();
    void bannerThatCannotBeFetchedGivesUp_data();
    void bannerThatCannotBeFetchedGivesUp();
    void newsButtonOpensOneBannerAtATime();

private:
    // Opens a banner in the screen, the way the news button does, sliding without delay.
    QPointer<KPNetworkAdView> openBanner();
    QColor colourInBanner(QPoint point);

    KPTestHttpServer m_server;
    UrlOpener m_opener;
    std::unique_ptr<QWidget> m_screen;
    QString m_answerWithPicture;
};

void TestNetworkAdView::initTestCase()
{
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_opener, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_opener, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("itms"), &m_opener, "open");
    m_server.answer("/", json("<html>home</html>"));
    Response picture;
    picture.contentType = "image/png";
    picture.body = png(Qt::red);
    m_server.answer("/picture.png", picture);
    m_answerWithPicture = QStringLiteral("{\"image_url\": \"%1\", \"its_url\": "
                                         "\"https://store.example/app/1\", \"message\": "
                                         "\"New: Touch Drums\"}")
                              .arg(m_server.url(QStringLiteral("/picture.png")).toString());
}

void TestNetworkAdView::cleanupTestCase()
{
    for (const char* scheme : {"https", "file", "itms"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestNetworkAdView::init()
{
    qputenv("TOUCHPIANO_WEB_SERVER", m_server.base().toUtf8());
    m_server.answer(kBannerPath, json(m_answerWithPicture.toUtf8()));
    m_server.clearRequests();
    m_opener.opened.clear();
    m_screen = std::make_unique<QWidget>();
    m_screen->setFixedSize(480, 320);
    m_screen->setStyleSheet(QStringLiteral("background: black;"));
    m_screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_screen.get()));
}

void TestNetworkAdView::cleanup()
{
    m_screen.reset();
}

QPointer<KPNetworkAdView> TestNetworkAdView::openBanner()
{
    auto* banner = new KPNetworkAdView(QRect(80, 321, 320, 90), m_screen.get());
    banner->setMyAppIDWithReFormat(QStringLiteral("org.touchpiano.TouchPiano"));
    banner->setLangID(QStringLiteral("de"));
    banner->setAnimParameters(true, 321, 230, 0);
    banner->show();
    banner->loadWebInfo();
    return banner;
}

QColor TestNetworkAdView::colourInBanner(QPoint point)
{
    return m_screen->grab().toImage().pixelColor(QPoint(80, 230) + point);
}

void TestNetworkAdView::bannerURLCountsPixels_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QString>("dimensions");
    QTest::newRow("scale 1") << qreal(1) << "320x90";
    QTest::newRow("scale 2") << qreal(2) << "640x180";
    QTest::newRow("fractions are cut") << qreal(1.33) << "425x119";
}

void TestNetworkAdView::bannerURLCountsPixels()
{
    QFETCH(qreal, scale);
    QFETCH(QString, dimensions);
    QCOMPARE(KPNetworkAdView::bannerURL(QStringLiteral("http://web"),
                                        QStringLiteral("org_touchpiano_TouchPiano"),
                                        QStringLiteral("de"), QSizeF(320, 90), scale),
             "http://web/promo_banner.php?bundle_id=org_touchpiano_TouchPiano&lang=de&dim=" +
                 dimensions + "&message=");
}

void TestNetworkAdView::bannerSlidesInWithItsAnswer()
{
    KPLogCapture log;
    const QPointer<KPNetworkAdView> banner = openBanner();
    QTRY_COMPARE(banner->y(), 230);
    QCOMPARE(banner->x(), 80);
    QCOMPARE(m_server.requests().size(), 3);
    QCOMPARE(m_server.requests().at(0).target, QByteArray("/"));
    QCOMPARE(
        m_server.requests().at(1).target,
        QByteArray(
            "/promo_banner.php?bundle_id=org_touchpiano_TouchPiano&lang=de&dim=320x90&message="));
    QCOMPARE(m_server.requests().at(2).target, QByteArray("/picture.png"));
    const QStringList lines = log.lines();
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).startsWith(QLatin1String("json: {")));
    QCOMPARE(lines.mid(1),
             (QStringList{"image: " + m_server.url(QStringLiteral("/picture.png")).toString(),
                          "appurl: https://store.example/app/1", "msg: New: Touch Drums"}));
    QCOMPARE(banner->findChild<QLabel*>(QStringLiteral("msgLabel"))->text(),
             QStringLiteral("New: Touch Drums"));
    QCOMPARE(colourInBanner(QPoint(300, 80)), QColor(Qt::red));
}

void TestNetworkAdView::touchOpensTheLinkAndCloseDoesNot()
{
    const QPointer<KPNetworkAdView> banner = openBanner();
    QTRY_COMPARE(banner->y(), 230);
    QSignalSpy exited(banner.data(), &KPNetworkAdView::exited);
    QTest::mouseClick(m_screen->windowHandle(), Qt::LeftButton, {}, QPoint(80 + 200, 230 + 50));
    QCOMPARE(m_opener.opened, QList<QUrl>{QUrl(QStringLiteral("https://store.example/app/1"))});
    QCOMPARE(exited.count(), 0);

    QTest::mouseClick(m_screen->windowHandle(), Qt::LeftButton, {}, QPoint(80 + 10, 230 + 10));
    QCOMPARE(m_opener.opened.size(), 1);
    QCOMPARE(exited.count(), 1);
    QTRY_VERIFY(banner.isNull());
}

void TestNetworkAdView::onlyWebLinksAreOpened()
{
    m_server.answer(kBannerPath,
                    json(R"({"image_url": "", "its_url": "file:///etc/passwd", "message": "m"})"));
    const QPointer<KPNetworkAdView> banner = openBanner();
    QTRY_COMPARE(banner->y(), 230);
    KPLogCapture log;
    QTest::mouseClick(m_screen->windowHandle(), Qt::LeftButton, {}, QPoint(80 + 200, 230 + 50));
    QVERIFY(m_opener.opened.isEmpty());
    QCOMPARE(log.lines(), QStringList{"KPNetworkAdView: Not opening \"file:///etc/passwd\": only "
                                      "http and https links are opened"});
}

void TestNetworkAdView::pictureThatFailsOrIsNoPicture_data()
{
    QTest::addColumn<Response>("picture");
    QTest::addColumn<QColor>("background");
    Response text = json("this is not a picture");
    Response oversized;
    oversized.body = QByteArray(KPHTTPRequest::kPictureBodyLimit + 1, 'p');
    Response atLimit;
    atLimit.body = png(Qt::red);
    atLimit.body += QByteArray(KPHTTPRequest::kPictureBodyLimit - atLimit.body.size(), '\0');
    QTest::newRow("not a picture: empty") << text << QColor(Qt::black);
    QTest::newRow("over the limit: white") << oversized << QColor(Qt::white);
    QTest::newRow("at the limit: shown") << atLimit << QColor(Qt::red);
}

void TestNetworkAdView::pictureThatFailsOrIsNoPicture()
{
    QFETCH(Response, picture);
    QFETCH(QColor, background);
    m_server.answer("/picture.png", picture);
    const QPointer<KPNetworkAdView> banner = openBanner();
    QTRY_COMPARE(banner->y(), 230);
    QCOMPARE(colourInBanner(QPoint(300, 80)), background);
    Response red;
    red.body = png(Qt::red);
    m_server.answer("/picture.png", red);
}

void TestNetworkAdView::bannerThatCannotBeFetchedGivesUp_data()
{
    QTest::addColumn<QString>("webServer"); // empty: the test server
    QTest::addColumn<Response>("answer");
    Response html;
    html.status = 500;
    html.contentType = "text/html";
    html.body = "<html>error</html>";
    QTest::newRow("no server") << deadServer() << Response();
    QTest::newRow("an HTML error page") << QString() << html;
    QTest::newRow("a JSON array") << QString() << json("[]");
    QTest::newRow("a key missing") << QString() << json(R"({"image_url": "x", "message": "m"})");
    QTest::newRow("a null value") << QString()
                                  << json(R"({"image_url": "x", "its_url": null, "message": "m"})");
    QTest::newRow("an oversized answer")
        << QString() << json(QByteArray(KPHTTPRequest::kJsonBodyLimit + 1, ' '));
}

void TestNetworkAdView::bannerThatCannotBeFetchedGivesUp()
{
    QFETCH(QString, webServer);
    QFETCH(Response, answer);
    if (!webServer.isEmpty())
        qputenv("TOUCHPIANO_WEB_SERVER", webServer.toUtf8());
    m_server.answer(kBannerPath, answer);
    const QPointer<KPNetworkAdView> banner = openBanner();
    QSignalSpy exited(banner.data(), &KPNetworkAdView::exited);
    QTRY_VERIFY(banner.isNull());
    QCOMPARE(exited.count(), 1);
    QVERIFY(m_server.requests().size() <= 2);
}

void TestNetworkAdView::newsButtonOpensOneBannerAtATime()
{
    KPViewController controller(QStringLiteral("KPViewController_iPhone"));
    const auto banners = [&controller] {
        return controller.view()->findChildren<KPNetworkAdView*>();
    };
    controller.newsButton();
    controller.newsButton();
    QCOMPARE(banners().size(), 1);
    QTRY_COMPARE(banners().at(0)->y(), 230);
    QCOMPARE(banners().at(0)->geometry(), QRect(80, 230, 320, 90));

    QTest::mouseClick(banners().at(0)->findChild<QAbstractButton*>(), Qt::LeftButton);
    QVERIFY(!controller.netBannerShowing());
    QTRY_COMPARE(banners().size(), 0);
    controller.newsButton();
    QCOMPARE(banners().size(), 1);
    QCOMPARE(banners().at(0)->y(), 321);
    QTRY_COMPARE(banners().at(0)->y(), 230);

    // A banner that cannot be fetched leaves the button ready for another try.
    QTest::mouseClick(banners().at(0)->findChild<QAbstractButton*>(), Qt::LeftButton);
    QTRY_COMPARE(banners().size(), 0);
    qputenv("TOUCHPIANO_WEB_SERVER", deadServer().toUtf8());
    controller.newsButton();
    QVERIFY(controller.netBannerShowing());
    QTRY_VERIFY(!controller.netBannerShowing());
    QTRY_COMPARE(banners().size(), 0);
    qputenv("TOUCHPIANO_WEB_SERVER", m_server.base().toUtf8());
    controller.newsButton();
    QTRY_COMPARE(banners().size(), 1);
    QTRY_COMPARE(banners().at(0)->y(), 230);
}

QTEST_MAIN(TestNetworkAdView)
#include "tst_networkadview.moc"
