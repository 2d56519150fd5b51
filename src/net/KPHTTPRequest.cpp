#include "net/KPHTTPRequest.h"

#include "net/KPHTTPResponseParser.h"

#include <QCoreApplication>
#include <QSslSocket>

namespace {

// What one read takes from the socket, and all the socket may hold ahead of us.
constexpr qint64 kReadChunk = 64 * 1024;

bool isWeb(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool isSecure(const QUrl& url)
{
    return url.scheme().toLower() == QLatin1String("https");
}

} // namespace

KPHTTPRequest::KPHTTPRequest(qint64 bodyLimit, QObject* parent)
    : QObject(parent), m_bodyLimit(bodyLimit)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(std::chrono::seconds(60));
    connect(&m_timeout, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("The request timed out")); });
}

KPHTTPRequest::~KPHTTPRequest() = default;

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
    if (!isWeb(target)) {
        m_done = true;
        deleteLater();
        qWarning("KPHTTPRequest: Connection initialization error");
        emit requestFailure();
        return;
    }
    m_verb = verb;
    m_body = body;
    m_contentType = contentType;
    connectTo(target);
}

// Each response starts afresh on a connection of its own: only the last one's body (after
// redirections) is kept.
void KPHTTPRequest::connectTo(const QUrl& url)
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_url = url;
    m_parser = std::make_unique<KPHTTPResponseParser>(m_bodyLimit);
    // Plain http does without the TLS library and what it costs to load.
    const bool secure = isSecure(url);
    QSslSocket* encrypted = secure ? new QSslSocket(this) : nullptr;
    m_socket = secure ? encrypted : new QTcpSocket(this);
    m_socket->setReadBufferSize(kReadChunk);
    connect(m_socket, &QIODevice::readyRead, this, &KPHTTPRequest::received);
    connect(m_socket, &QAbstractSocket::disconnected, this, &KPHTTPRequest::closed);
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error != QAbstractSocket::RemoteHostClosedError)
                    fail(m_socket->errorString());
            });
    connect(m_socket, &QIODevice::bytesWritten, &m_timeout, qOverload<>(&QTimer::start));
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    if (encrypted)
        encrypted->connectToHostEncrypted(url.host(), port);
    else
        m_socket->connectToHost(url.host(), port);
    // Held by the socket until the connection (and its encryption) is up.
    m_socket->write(requestHead() + m_body);
    m_timeout.start();
}

QByteArray KPHTTPRequest::requestHead() const
{
    QByteArray target = m_url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (m_url.hasQuery())
        target += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (m_url.port() != -1)
        host += ':' + QByteArray::number(m_url.port());
    QByteArray head = m_verb + ' ' + target + " HTTP/1.1\r\nHost: " + host +
                      "\r\nConnection: close\r\nAccept-Encoding: identity\r\nUser-Agent: " +
                      QCoreApplication::applicationName().toUtf8() + "\r\n";
    if (!m_contentType.isEmpty())
        head += "Content-Type: " + m_contentType + "\r\n";
    if (!m_body.isEmpty() || m_verb != "GET")
        head += "Content-Length: " + QByteArray::number(m_body.size()) + "\r\n";
    return head + "\r\n";
}

void KPHTTPRequest::received()
{
    if (m_done)
        return;
    m_timeout.start();
    while (m_socket->bytesAvailable() > 0) {
        m_parser->feed(m_socket->read(kReadChunk));
        if (!inspect())
            return;
    }
}

void KPHTTPRequest::closed()
{
    const QTcpSocket* closing = m_socket;
    received();
    // What it still held may have been a redirect, now followed on another connection.
    if (m_done || m_socket != closing)
        return;
    m_parser->close();
    inspect();
}

// Whether to go on reading this answer: not once it failed, ended, or turned out a redirect.
bool KPHTTPRequest::inspect()
{
    if (m_parser->state() == KPHTTPResponseParser::State::Failed) {
        fail(m_parser->error());
        return false;
    }
    if (!m_parser->headersRead())
        return true;
    const int status = m_parser->status();
    const QByteArray location = m_parser->header("location");
    if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
        !location.isEmpty()) {
        redirect(location);
        return false;
    }
    if (m_parser->state() != KPHTTPResponseParser::State::Done)
        return true;
    m_done = true;
    m_statusCode = status;
    m_timeout.stop();
    m_socket->abort();
    deleteLater();
    emit requestResult(m_parser->body());
    return false;
}

// As browsers do: a 303, or a 301 or 302 after a POST, goes on with a GET.
void KPHTTPRequest::redirect(const QByteArray& location)
{
    const QUrl next = m_url.resolved(QUrl(QString::fromUtf8(location), QUrl::StrictMode));
    if (++m_redirects > kMaxRedirects) {
        fail(QStringLiteral("Too many redirects"));
        return;
    }
    if (!isWeb(next) || (isSecure(m_url) && !isSecure(next))) {
        fail(QStringLiteral("Refused to follow the redirect to %1").arg(next.toString()));
        return;
    }
    const int status = m_parser->status();
    if (status == 303 || ((status == 301 || status == 302) && m_verb == "POST")) {
        m_verb = "GET";
        m_body.clear();
        m_contentType.clear();
    }
    connectTo(next);
}

void KPHTTPRequest::fail(const QString& description)
{
    if (m_done)
        return;
    m_done = true;
    m_timeout.stop();
    const QByteArray line = "KPHTTPRequest: Connection failed! Error - " + description.toUtf8() +
                            ' ' + m_url.toString().toUtf8();
    m_socket->abort();
    deleteLater();
    emit requestFailure();
    qWarning("%s", line.constData());
}
