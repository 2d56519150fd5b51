#include "net/KPHTTPRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

namespace {

// What the network layer may hold ahead of us: an answer over the limit is refused after at most
// this much more, not after the whole of it has arrived.
constexpr qint64 kReadBufferSize = 64 * 1024;

// An HTTP status is an answer like any other; only a transfer that broke is a failure.
bool isAnswer(QNetworkReply::NetworkError error)
{
    return error == QNetworkReply::NoError ||
           (error >= QNetworkReply::ContentAccessDenied &&
            error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError &&
            error <= QNetworkReply::UnknownServerError);
}

} // namespace

KPHTTPRequest::KPHTTPRequest(qint64 bodyLimit, QObject* parent)
    : QObject(parent), m_bodyLimit(bodyLimit), m_manager(new QNetworkAccessManager(this))
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(std::chrono::seconds(60));
    connect(&m_timeout, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("The request timed out")); });
}

void KPHTTPRequest::setTimeout(std::chrono::milliseconds timeout)
{
    m_timeout.setInterval(timeout);
}

void KPHTTPRequest::httpRequest(const QString& url)
{
    send(url, QByteArrayLiteral("GET"), QByteArray(), QByteArray());
}

void KPHTTPRequest::httpPost(const QString& url, const QByteArray& body,
                             const QByteArray& contentType)
{
    send(url, QByteArrayLiteral("POST"), body, contentType);
}

void KPHTTPRequest::send(const QString& url, const QByteArray& verb, const QByteArray& body,
                         const QByteArray& contentType)
{
    const QUrl target(url, QUrl::StrictMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        m_done = true;
        deleteLater();
        qWarning("KPHTTPRequest: Connection initialization error");
        emit requestFailure();
        return;
    }
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (!contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    m_reply = m_manager->sendCustomRequest(request, verb, body);
    m_reply->setReadBufferSize(kReadBufferSize);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &KPHTTPRequest::responseStarted);
    connect(m_reply, &QNetworkReply::readyRead, this, &KPHTTPRequest::received);
    connect(m_reply, &QNetworkReply::finished, this, &KPHTTPRequest::finished);
    connect(m_reply, &QNetworkReply::uploadProgress, &m_timeout, qOverload<>(&QTimer::start));
    m_timeout.start();
}

// Each response starts the body afresh: only the last one's (after redirections) is kept.
void KPHTTPRequest::responseStarted()
{
    m_timeout.start();
    m_data.clear();
    m_statusCode = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A declared length over the limit is refused before any of the body is read.
    bool declared = false;
    const qint64 length =
        m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&declared);
    if (declared && length > m_bodyLimit && !m_done)
        fail(tooLarge());
}

void KPHTTPRequest::received()
{
    if (m_done)
        return;
    m_timeout.start();
    // One byte past the limit is enough to know the answer is too large.
    m_data += m_reply->read(m_bodyLimit + 1 - m_data.size());
    if (m_data.size() > m_bodyLimit)
        fail(tooLarge());
}

QString KPHTTPRequest::tooLarge() const
{
    return QStringLiteral("The answer is larger than %1 bytes").arg(m_bodyLimit);
}

void KPHTTPRequest::finished()
{
    if (m_done)
        return;
    received();
    if (m_done)
        return;
    if (!isAnswer(m_reply->error())) {
        fail(m_reply->errorString());
        return;
    }
    m_done = true;
    m_timeout.stop();
    deleteLater();
    emit requestResult(m_data);
}

void KPHTTPRequest::fail(const QString& description)
{
    m_done = true;
    m_timeout.stop();
    const QByteArray line = "KPHTTPRequest: Connection failed! Error - " + description.toUtf8() +
                            ' ' + m_reply->url().toString().toUtf8();
    m_reply->abort();
    deleteLater();
    emit requestFailure();
    qWarning("%s", line.constData());
}
