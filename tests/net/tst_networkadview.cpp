#include "app/KPViewController.h"
#include "KPLogCapture.h"
#include "KPTestHttpServer.h"
#include "net/KPHTTPRequest.h"
#include "net/KPNetworkAdView.h"
#include "platform/KPDeviceIdiom.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

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

Response answer(const QByteArray& body, int status = 200)
{
    Response response;
    response.body = body;
    response.status = status;
    return response;
}

Response redPicture()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return answer(buffer.data());
}

QByteArray bannerAnswer(const QString& picture, const QString& link)
{
    return QStringLiteral("{\"image_url\": \"%1\", \"its_url\": \"%2\", \"message\": \"New!\"}")
        .arg(picture, link)
        .toUtf8();
}

// A closed port: nothing answers there.
QByteArray deadServer()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return "http://127.0.0.1:" + QByteArray::number(server.serverPort());
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
    void bannerURLCountsPixels_data();
    void bannerURLCountsPixels();
    void bannerSlidesInOpensAndCloses();
    void pictureThatFailsOrIsNoPicture_data();
    void pictureThatFailsOrIsNoPicture();
    void bannerThatCannotBeFetchedGivesUp_data();
    void bannerThatCannotBeFetchedGivesUp();
    void hostileMessageIsShownAsText_data();
    void hostileMessageIsShownAsText();
    void newsButtonOpensOneBannerAtATime();
    void withoutWebServerNoNewsButton();

private:
    // A banner as the news button opens it on a phone, sliding without delay, shown in a
    // black screen.
    QPointer<KPNetworkAdView> openBanner();
    void click(QPoint inBanner);

    KPTestHttpServer m_server;
    UrlOpener m_opener;
    std::unique_ptr<QWidget> m_screen;
    QString m_picture;
    QTemporaryDir m_dir;
};

void TestNetworkAdView::initTestCase()
{
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
    for (const char* scheme : {"https", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_opener, "open");
    m_server.answer("/", answer("<html>home</html>"));
    m_picture = m_server.url(QStringLiteral("/picture.png")).toString();
}

void TestNetworkAdView::cleanupTestCase()
{
    for (const char* scheme : {"https", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestNetworkAdView::init()
{
    qputenv("TOUCHPIANO_WEB_SERVER", m_server.base().toUtf8());
    m_server.answer("/picture.png", redPicture());
    m_server.answer(kBannerPath, answer(bannerAnswer(m_picture, "https://store.example/1")));
    m_server.clearRequests();
    m_opener.opened.clear();
    m_screen = std::make_unique<QWidget>();
    m_screen->setFixedSize(480, 320);
    m_screen->setStyleSheet(QStringLiteral("background: black;"));
    m_screen->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_screen.get()));
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

void TestNetworkAdView::click(QPoint inBanner)
{
    QTest::mouseClick(m_screen->windowHandle(), Qt::LeftButton, {}, QPoint(80, 230) + inBanner);
}

void TestNetworkAdView::bannerURLCountsPixels_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<QString>("dimensions");
    QTest::newRow("scale 1") << qreal(1) << "320x90";
    QTest::newRow("scale 2") << qreal(2) << "640x180";
    QTest::newRow("fractions cut") << qreal(1.33) << "425x119";
}

void TestNetworkAdView::bannerURLCountsPixels()
{
    QFETCH(qreal, scale);
    QFETCH(QString, dimensions);
    QCOMPARE(KPNetworkAdView::bannerURL("http://web", "my_app", "de", QSizeF(320, 90), scale),
             "http://web/promo_banner.php?bundle_id=my_app&lang=de&dim=" + dimensions +
                 "&message=");
}

void TestNetworkAdView::bannerSlidesInOpensAndCloses()
{
    KPLogCapture log;
    const QPointer<KPNetworkAdView> banner = openBanner();
    QTRY_COMPARE(banner->pos(), QPoint(80, 230));
    QCOMPARE(m_server.requests().at(1).target,
             kBannerPath + "?bundle_id=org_touchpiano_TouchPiano&lang=de&dim=320x90&message=");
    QCOMPARE(log.lines().mid(1),
             (QStringList{"image: " + m_picture, "appurl: https://store.example/1", "msg: New!"}));
    QCOMPARE(banner->findChild<QLabel*>(QStringLiteral("msgLabel"))->text(), "New!");
    QCOMPARE(m_screen->grab().toImage().pixelColor(300, 300), QColor(Qt::red));

    QSignalSpy exited(banner.data(), &KPNetworkAdView::exited);
    click(QPoint(200, 50));
    QCOMPARE(m_opener.opened, QList<QUrl>{QUrl("https://store.example/1")});
    click(QPoint(10, 10)); // the close button
    QCOMPARE(m_opener.opened.size(), 1);
    QCOMPARE(exited.count(), 1);
    QTRY_VERIFY(banner.isNull());

    m_server.answer(kBannerPath, answer(bannerAnswer(m_picture, "file:///etc/passwd")));
    const QPointer<KPNetworkAdView> local = openBanner();
    QTRY_COMPARE(local->y(), 230);
    log.clear();
    click(QPoint(200, 50));
    QVERIFY(m_opener.opened.size() == 1);
    QCOMPARE(log.lines(), QStringList{"KPNetworkAdView: Not opening \"file:///etc/passwd\": only "
                                      "http and https links are opened"});
}

void TestNetworkAdView::pictureThatFailsOrIsNoPicture_data()
{
    QTest::addColumn<Response>("picture");
    QTest::addColumn<QColor>("background");
    Response atLimit = redPicture();
    atLimit.body += QByteArray(KPHTTPRequest::kPictureBodyLimit - atLimit.body.size(), '\0');
    QTest::newRow("not a picture: nothing") << answer("text") << QColor(Qt::black);
    QTest::newRow("too big: white") << answer(atLimit.body + 'x') << QColor(Qt::white);
    QTest::newRow("at the limit: shown") << atLimit << QColor(Qt::red);
}

void TestNetworkAdView::pictureThatFailsOrIsNoPicture()
{
    QFETCH(Response, picture);
    QFETCH(QColor, background);
    m_server.answer("/picture.png", picture);
    const QPointer<KPNetworkAdView> banner = openBanner();
    QTRY_COMPARE(banner->y(), 230);
    QCOMPARE(m_screen->grab().toImage().pixelColor(300, 300), background);
}

void TestNetworkAdView::bannerThatCannotBeFetchedGivesUp_data()
{
    QTest::addColumn<QByteArray>("webServer"); // empty: the test server
    QTest::addColumn<Response>("response");
    QTest::newRow("no server") << deadServer() << Response();
    QTest::newRow("HTML, status 500") << QByteArray() << answer("<html>error</html>", 500);
    QTest::newRow("an array") << QByteArray() << answer("[]");
    QTest::newRow("a key missing") << QByteArray() << answer(R"({"image_url": "", "message": ""})");
    QTest::newRow("a null") << QByteArray()
                            << answer(R"({"image_url": "", "its_url": null, "message": ""})");
    QTest::newRow("oversized") << QByteArray()
                               << answer(QByteArray(KPHTTPRequest::kJsonBodyLimit + 1, ' '));
}

void TestNetworkAdView::bannerThatCannotBeFetchedGivesUp()
{
    QFETCH(QByteArray, webServer);
    QFETCH(Response, response);
    if (!webServer.isEmpty())
        qputenv("TOUCHPIANO_WEB_SERVER", webServer);
    m_server.answer(kBannerPath, response);
    const QPointer<KPNetworkAdView> banner = openBanner();
    QSignalSpy exited(banner.data(), &KPNetworkAdView::exited);
    QTRY_VERIFY(banner.isNull());
    QCOMPARE(exited.count(), 1);
}

void TestNetworkAdView::hostileMessageIsShownAsText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString zero = QStringLiteral("<img src=\"file:///dev/zero\">");
    const QString pipe = QStringLiteral("<img src=\"%1\">").arg(fifo);
    QString nested;
    for (int i = 0; i < 100000; ++i)
        nested += QStringLiteral("<ul><li>");
    QTest::newRow("a file as picture") << zero << zero;
    QTest::newRow("a FIFO as picture") << pipe << pipe;
    QTest::newRow("100,000 nested lists") << nested << nested.left(280);
    QTest::newRow("cut before a half character")
        << QString(279, QLatin1Char('a')) + QStringLiteral("\U0001F3B9")
        << QString(279, QLatin1Char('a'));
}

void TestNetworkAdView::hostileMessageIsShownAsText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    const QJsonObject answerObject{
        {"image_url", m_picture}, {"its_url", "https://store.example/1"}, {"message", message}};
    m_server.answer(kBannerPath, answer(QJsonDocument(answerObject).toJson()));
    const QPointer<KPNetworkAdView> banner = openBanner();
    QTRY_COMPARE(banner->y(), 230);
    QCOMPARE(banner->findChild<QLabel*>(QStringLiteral("msgLabel"))->text(), shown);
    QCOMPARE(m_screen->grab().toImage().pixelColor(300, 300), QColor(Qt::red));
}

void TestNetworkAdView::newsButtonOpensOneBannerAtATime()
{
    KPViewController controller(QStringLiteral("KPViewController_iPhone"));
    const auto banners = [&controller] {
        return controller.view()->findChildren<KPNetworkAdView*>();
    };
    const auto closeBanner = [&banners] {
        QTest::mouseClick(banners().at(0)->findChild<QAbstractButton*>(), Qt::LeftButton);
    };
    controller.newsButton();
    controller.newsButton();
    QCOMPARE(banners().size(), 1);
    QTRY_COMPARE(banners().at(0)->geometry(), QRect(80, 230, 320, 90));
    closeBanner();
    QVERIFY(!controller.netBannerShowing());
    QTRY_COMPARE(banners().size(), 0);
    controller.newsButton();
    QCOMPARE(banners().at(0)->y(), 321);
    QTRY_COMPARE(banners().at(0)->y(), 230);
    closeBanner();
    QTRY_COMPARE(banners().size(), 0);

    // A banner that cannot be fetched leaves the button ready for another try.
    qputenv("TOUCHPIANO_WEB_SERVER", deadServer());
    controller.newsButton();
    QVERIFY(controller.netBannerShowing());
    QTRY_VERIFY(!controller.netBannerShowing());
    qputenv("TOUCHPIANO_WEB_SERVER", m_server.base().toUtf8());
    controller.newsButton();
    QTRY_COMPARE(banners().size(), 1);
}

void TestNetworkAdView::withoutWebServerNoNewsButton()
{
    qunsetenv("TOUCHPIANO_WEB_SERVER");
    KPViewController controller(QStringLiteral("KPViewController_iPhone"));
    controller.view()->show();
    QVERIFY(!controller.newsBtn()->isVisible());
    controller.newsBtn()->click();
    QVERIFY(!controller.netBannerShowing());
}

QTEST_MAIN(TestNetworkAdView)
#include "tst_networkadview.moc"
