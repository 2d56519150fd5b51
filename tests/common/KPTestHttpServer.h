#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QUrl>

#include <optional>

class QTcpSocket;

// A real HTTP/1.1 server on 127.0.0.1 (a free port) for network tests. Each path answers
// with what the test gave it; every connection is closed after its answer. Paths without
// an answer get 404. Requests are kept in the order they arrived. Over TLS it shows a
// self-signed certificate for "localhost" and 127.0.0.1, which clients trust only while a
// Trust lives.
class KPTestHttpServer : public QTcpServer
{
    Q_OBJECT

public:
    enum class Transport { Plain, Tls };

    // While it lives, TLS sockets made in this process trust the test certificate besides
    // what they trusted before.
    class Trust
    {
    public:
        Trust();
        ~Trust();
        Q_DISABLE_COPY_MOVE(Trust)

    private:
        QSslConfiguration m_previous;
    };

    struct Response
    {
        int status = 200;
        QByteArray contentType = "application/json";
        QByteArray body;
        QByteArray location;         // sent as "Location" (redirects)
        int delayMs = 0;             // before the answer is written
        bool endless = false;        // the body never ends (no length, written as fast as read)
        bool endlessHeaders = false; // header lines without end, written as fast as read
        bool silent = false;         // the connection is accepted and never answered
        bool declareLength = true;
        qint64 declaredLength = -1; // when set, sent as the length whatever the body is
    };

    struct Request
    {
        QByteArray method;
        QByteArray target;                     // path and query, as sent
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    explicit KPTestHttpServer(Transport transport = Transport::Plain);

    // "http://127.0.0.1:<port>" (or https) followed by the path.
    QUrl url(const QString& path = QString()) const;
    QString base() const;

    // Answers for this path (without the query; the query is ignored when matching).
    void answer(const QByteArray& path, const Response& response);
    void answerJson(const QByteArray& path, const QByteArray& json);

    QList<Request> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

signals:
    void requestReceived(const QByteArray& target);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void accept();
    void read(QTcpSocket* socket);
    Response responseFor(const QByteArray& target) const;
    void respond(QTcpSocket* socket, const Response& response, bool headOnly);
    void writeEndless(QTcpSocket* socket, const QByteArray& piece);

    // The certificate and key shown over TLS; none over plain http, which so never loads the
    // TLS library.
    std::optional<QSslConfiguration> m_tls;
    QHash<QByteArray, Response> m_responses;
    QList<Request> m_requests;
};
