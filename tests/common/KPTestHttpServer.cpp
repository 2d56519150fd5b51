#include "KPTestHttpServer.h"

#include <QFile>
#include <QPointer>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>

namespace {

QByteArray tlsFile(const char* name)
{
    QFile file(QString::fromUtf8(KP_TEST_TLS_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("KPTestHttpServer: cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// The request as far as it has arrived, or no value while its head or body is incomplete.
std::optional<KPTestHttpServer::Request> parse(const QByteArray& buffer)
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return std::nullopt;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    KPTestHttpServer::Request request;
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() - headEnd - 4 < length)
        return std::nullopt;
    request.body = buffer.mid(headEnd + 4, length);
    return request;
}

} // namespace

KPTestHttpServer::Trust::Trust() : m_previous(QSslConfiguration::defaultConfiguration())
{
    QSslConfiguration trusting = m_previous;
    trusting.addCaCertificates(QSslCertificate::fromData(tlsFile("localhost.crt")));
    QSslConfiguration::setDefaultConfiguration(trusting);
}

KPTestHttpServer::Trust::~Trust()
{
    QSslConfiguration::setDefaultConfiguration(m_previous);
}

KPTestHttpServer::KPTestHttpServer(Transport transport)
{
    if (transport == Transport::Tls) {
        m_tls = QSslConfiguration::defaultConfiguration();
        m_tls->setLocalCertificate(QSslCertificate(tlsFile("localhost.crt")));
        m_tls->setPrivateKey(QSslKey(tlsFile("localhost.key"), QSsl::Ec));
    }
    connect(this, &QTcpServer::newConnection, this, &KPTestHttpServer::accept);
    listen(QHostAddress::LocalHost, 0);
}

QString KPTestHttpServer::base() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(QLatin1String(m_tls ? "https" : "http"))
        .arg(serverPort());
}

QUrl KPTestHttpServer::url(const QString& path) const
{
    return QUrl(base() + path);
}

void KPTestHttpServer::answer(const QByteArray& path, const Response& response)
{
    m_responses.insert(path, response);
}

void KPTestHttpServer::answerJson(const QByteArray& path, const QByteArray& json)
{
    Response response;
    response.body = json;
    answer(path, response);
}

// Over TLS, the socket reads and writes the plain text; the handshake runs meanwhile.
void KPTestHttpServer::incomingConnection(qintptr descriptor)
{
    if (!m_tls) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    socket->setSslConfiguration(*m_tls);
    socket->startServerEncryption();
    addPendingConnection(socket);
}

void KPTestHttpServer::accept()
{
    while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
    }
}

void KPTestHttpServer::read(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const auto request = parse(buffer);
    if (!request || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    m_requests.append(*request);
    emit requestReceived(request->target);
    const Response response = responseFor(request->target);
    if (response.silent)
        return;
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(response.delayMs, this,
                       [this, guarded, response, head = request->method == "HEAD"] {
                           if (guarded)
                               respond(guarded, response, head);
                       });
}

KPTestHttpServer::Response KPTestHttpServer::responseFor(const QByteArray& target) const
{
    const auto found = m_responses.constFind(target.split('?').value(0));
    if (found != m_responses.constEnd())
        return *found;
    Response notFound;
    notFound.status = 404;
    notFound.contentType = "text/plain";
    notFound.body = "not found";
    return notFound;
}

void KPTestHttpServer::respond(QTcpSocket* socket, const Response& response, bool headOnly)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonFor(response.status) + "\r\nContent-Type: " + response.contentType +
                      "\r\nConnection: close\r\n";
    if (!response.location.isEmpty())
        head += "Location: " + response.location + "\r\n";
    if (response.declaredLength >= 0)
        head += "Content-Length: " + QByteArray::number(response.declaredLength) + "\r\n";
    else if (response.declareLength && !response.endless)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (response.endless || response.endlessHeaders) {
        const QByteArray piece = response.endlessHeaders
                                     ? "X-Flood: " + QByteArray(64 * 1024, 'x') + "\r\n"
                                     : QByteArray(64 * 1024, 'x');
        socket->write(response.endlessHeaders ? head : head + "\r\n");
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket, piece] {
            if (socket->bytesToWrite() < 64 * 1024)
                writeEndless(socket, piece);
        });
        writeEndless(socket, piece);
        return;
    }
    socket->write(head + "\r\n");
    if (!headOnly)
        socket->write(response.body);
    socket->disconnectFromHost();
}

void KPTestHttpServer::writeEndless(QTcpSocket* socket, const QByteArray& piece)
{
    if (socket->state() == QAbstractSocket::ConnectedState)
        socket->write(piece);
}
