#include "net/KPNetworkAdView.h"

#include "net/KPHTTPRequest.h"
#include "net/KPServers.h"
#include "platform/KPDeviceIdiom.h"
#include "ui/KPButton.h"
#include "ui/KPImages.h"

#include <QDesktopServices>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>

#include <cmath>

namespace {

constexpr int kMinimumFontSize = 10;
// Two lines of the label hold far less; the rest of a longer message would only cost layout time.
constexpr qsizetype kMessageCap = 280;

// The largest size, from the given one down to the minimum, at which the text fits the
// label's width in at most two lines.
void shrinkToFit(QLabel* label, int size)
{
    QFont font = label->font();
    for (; size > kMinimumFontSize; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        const QRect needed = metrics.boundingRect(QRect(0, 0, label->width(), 100000),
                                                  Qt::TextWordWrap, label->text());
        if (needed.width() <= label->width() && needed.height() <= 2 * metrics.lineSpacing())
            break;
    }
    font.setPixelSize(size);
    label->setFont(font);
}

} // namespace

KPNetworkAdView::KPNetworkAdView(const QRect& frame, QWidget* parent)
    : QWidget(parent), m_bgImage(new QLabel(this)), m_msgLabel(new QLabel(this)),
      m_exitWebBtn(new KPButton(this))
{
    setGeometry(frame);
    const bool pad = KPDeviceIdiom::isPad();
    const double w = frame.width();
    const double h = frame.height();

    m_bgImage->setObjectName(QStringLiteral("bgImage"));
    m_bgImage->setGeometry(0, 0, frame.width(), frame.height());
    m_bgImage->setScaledContents(true);

    m_msgLabel->setObjectName(QStringLiteral("msgLabel"));
    m_msgLabel->setGeometry(pad ? 20 : 10, static_cast<int>(float(0.52 * h)),
                            static_cast<int>(float(0.47 * w)), static_cast<int>(float(0.4 * h)));
    // The server's message is text: a label would guess at rich text and fetch its pictures.
    m_msgLabel->setTextFormat(Qt::PlainText);
    m_msgLabel->setAlignment(Qt::AlignCenter);
    m_msgLabel->setWordWrap(true);
    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(pad ? 24 : 12);
    m_msgLabel->setFont(font);
    m_msgLabel->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    auto* shadow = new QGraphicsDropShadowEffect(m_msgLabel);
    shadow->setBlurRadius(0);
    shadow->setOffset(1, 1);
    shadow->setColor(Qt::black);
    m_msgLabel->setGraphicsEffect(shadow);

    m_exitWebBtn->setObjectName(QStringLiteral("exitWebBtn"));
    m_exitWebBtn->setGeometry(2, 2, pad ? 62 : 32, pad ? 62 : 32);
    m_exitWebBtn->setImage(KPImages::named(KPDeviceIdiom::isPhone()
                                               ? QStringLiteral("btn-smclose")
                                               : QStringLiteral("btn-smclose@2x")));
    connect(m_exitWebBtn, &KPButton::clicked, this, &KPNetworkAdView::exitWebInfo);
}

void KPNetworkAdView::setAnimParameters(bool vertical, float begin, float end, float duration)
{
    m_verticalAnim = vertical;
    m_startValue = begin;
    m_endValue = end;
    m_timeValue = duration;
}

void KPNetworkAdView::setMyAppIDWithReFormat(const QString& bundleIdentifier)
{
    m_myAppID = QString(bundleIdentifier).replace(QLatin1Char('.'), QLatin1Char('_'));
}

QString KPNetworkAdView::generateURLString() const
{
    return bannerURL(KPServers::webServer(), m_myAppID, m_langID, size(),
                     QGuiApplication::primaryScreen()->devicePixelRatio());
}

QString KPNetworkAdView::bannerURL(const QString& webServer, const QString& appID,
                                   const QString& langID, QSizeF points, qreal scale)
{
    const auto pixels = [scale](qreal value) {
        return static_cast<int>(std::trunc(value * scale));
    };
    return QStringLiteral("%1/promo_banner.php?bundle_id=%2&lang=%3&dim=%4x%5&message=")
        .arg(webServer, appID, langID)
        .arg(pixels(points.width()))
        .arg(pixels(points.height()));
}

// Any answer from the web server's home page, whatever its status, means we can go on.
void KPNetworkAdView::loadWebInfo()
{
    const QString url = generateURLString();
    auto* probe = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, this);
    connect(probe, &KPHTTPRequest::requestResult, this, [this, url] { requestBanner(url); });
    connect(probe, &KPHTTPRequest::requestFailure, this, &KPNetworkAdView::abandon);
    probe->httpRequest(KPServers::webServer() + QLatin1Char('/'));
}

void KPNetworkAdView::requestBanner(const QString& url)
{
    auto* request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, this);
    connect(request, &KPHTTPRequest::requestResult, this, &KPNetworkAdView::fetchedData);
    connect(request, &KPHTTPRequest::requestFailure, this, &KPNetworkAdView::abandon);
    request->httpRequest(url);
}

// The three values must be strings: without them there is nothing to show or to open.
void KPNetworkAdView::fetchedData(const QByteArray& data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    const QJsonObject answer = document.object();
    const QJsonValue image = answer.value(QLatin1String("image_url"));
    const QJsonValue link = answer.value(QLatin1String("its_url"));
    const QJsonValue message = answer.value(QLatin1String("message"));
    if (!document.isObject() || !image.isString() || !link.isString() || !message.isString()) {
        qWarning("KPNetworkAdView: The banner answer is not an object with the strings "
                 "\"image_url\", \"its_url\" and \"message\"");
        abandon();
        return;
    }
    m_imageURL = image.toString();
    m_appURL = link.toString();
    m_bannerMsg = message.toString().left(kMessageCap);
    if (!m_bannerMsg.isEmpty() && m_bannerMsg.back().isHighSurrogate())
        m_bannerMsg.chop(1);
    qInfo("json: %s", document.toJson(QJsonDocument::Compact).constData());
    qInfo("image: %s", qPrintable(m_imageURL));
    qInfo("appurl: %s", qPrintable(m_appURL));
    qInfo("msg: %s", qPrintable(m_bannerMsg));

    m_msgLabel->setText(m_bannerMsg);
    shrinkToFit(m_msgLabel, KPDeviceIdiom::isPad() ? 24 : 12);
    auto* picture = new KPHTTPRequest(KPHTTPRequest::kPictureBodyLimit, this);
    connect(picture, &KPHTTPRequest::requestResult, this, &KPNetworkAdView::showPicture);
    connect(picture, &KPHTTPRequest::requestFailure, this, [this] {
        m_bgImage->setStyleSheet(QStringLiteral("background: white;"));
        slideTo(m_endValue);
    });
    picture->httpRequest(m_imageURL);
}

// A body that is not a picture leaves the image view empty.
void KPNetworkAdView::showPicture(const QByteArray& data)
{
    QPixmap pixmap;
    if (pixmap.loadFromData(data))
        m_bgImage->setPixmap(pixmap);
    slideTo(m_endValue);
}

void KPNetworkAdView::slideTo(float value)
{
    if (m_slide)
        m_slide->stop();
    QPoint target = pos();
    (m_verticalAnim ? target.ry() : target.rx()) = qRound(value);
    m_slide = new QPropertyAnimation(this, "pos", this);
    m_slide->setDuration(qRound(m_timeValue * 1000));
    m_slide->setEasingCurve(QEasingCurve::OutQuad);
    m_slide->setEndValue(target);
    if (m_closed)
        connect(m_slide, &QAbstractAnimation::finished, this, &QObject::deleteLater);
    m_slide->start(QAbstractAnimation::DeleteWhenStopped);
}

// Only web links are opened: the server must not make us start any other program.
void KPNetworkAdView::gotoAppURL()
{
    if (m_appURL.isEmpty())
        return;
    const QUrl url(m_appURL, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        qWarning("KPNetworkAdView: Not opening \"%s\": only http and https links are opened",
                 qPrintable(m_appURL));
        return;
    }
    QDesktopServices::openUrl(url);
}

// Out of sight the banner has no more use: it goes once it has slid out.
void KPNetworkAdView::exitWebInfo()
{
    if (m_closed)
        return;
    m_closed = true;
    slideTo(m_startValue);
    emit exited();
}

void KPNetworkAdView::abandon()
{
    if (m_closed)
        return;
    m_closed = true;
    deleteLater();
    emit exited();
}

void KPNetworkAdView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void KPNetworkAdView::mouseReleaseEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint()))
        gotoAppURL();
}
