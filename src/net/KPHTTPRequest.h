#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

class KPHTTPResponseParser;
class QTcpSocket;

// One asynchronous HTTP request. It ends in exactly one of requestResult() (the whole body of
// the last response, whatever its status, after redirects) and requestFailure(), and then
// deletes itself; it belongs to its parent meanwhile, so nothing is reported once the parent
// is gone. Only http and https URLs are loaded, a redirect never leads from https to http, and
// at most kMaxRedirects redirects are followed.
// A body larger than the limit (declared, or as soon as it passes it), headers larger than
// KPHTTPResponseParser's limit, or a transfer idle for the timeout, is a failure. Nothing
// blocks: answers arrive on the thread that asked.
//
// It speaks HTTP/1.1 over a socket of its own rather than through QNetworkAccessManager, which
// (Qt 6.4) reads headers of any size and runs ahead of its reader: a hostile server could make
// it hold hundreds of megabytes. Here at most one read buffer is held beyond the limits.
class KPHTTPRequest : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kJsonBodyLimit = 1024 * 1024;
    static constexpr qint64 kPictureBodyLimit = 5 * 1024 * 1024;
    static constexpr int kMaxRedirects = 50;

    explicit KPHTTPRequest(qint64 bodyLimit, QObject* parent);
    ~KPHTTPRequest() override;

    // 60 s unless set before the request starts.
    void setTimeout(std::chrono::milliseconds timeout);

    // A GET. A URL that cannot be loaded fails before this returns.
    void httpRequest(const QString& url);
    void httpPost(const QString& url, const QByteArray& body, const QByteArray& contentType);

    // The status of the last response (0 before one came), for requestResult()'s receiver.
    int statusCode() const { return m_statusCode; }

signals:
    void requestResult(const QByteArray& data);
    void requestFailure();

private:
    void send(const QString& url, const QByteArray& verb, const QByteArray& body,
              const QByteArray& contentType);
    void connectTo(const QUrl& url);
    QByteArray requestHead() const;
    void received();
    void closed();
    bool inspect();
    void redirect(const QByteArray& location);
    void fail(const QString& description);

    qint64 m_bodyLimit;
    QUrl m_url;
    QByteArray m_verb;
    QByteArray m_body;
    QByteArray m_contentType;
    int m_redirects = 0;
    QTcpSocket* m_socket = nullptr;
    std::unique_ptr<KPHTTPResponseParser> m_parser;
    QTimer m_timeout;
    int m_statusCode = 0;
    bool m_done = false;
};
