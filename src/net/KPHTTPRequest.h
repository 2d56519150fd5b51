#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

// One asynchronous HTTP request. It ends in exactly one of requestResult() (the whole body of
// the last response, whatever its status, after redirects) and requestFailure(), and then
// deletes itself; it belongs to its parent meanwhile, so nothing is reported once the parent
// is gone. Only http and https URLs are loaded. A body larger than the limit (declared, or as
// soon as it passes it), or a transfer idle for the timeout, is a failure. Nothing blocks: answers
// arrive on the thread that asked.
class KPHTTPRequest : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kJsonBodyLimit = 1024 * 1024;
    static constexpr qint64 kPictureBodyLimit = 5 * 1024 * 1024;

    explicit KPHTTPRequest(qint64 bodyLimit, QObject* parent);

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
    void responseStarted();
    void received();
    void finished();
    void fail(const QString& description);
    QString tooLarge() const;

    qint64 m_bodyLimit;
    QNetworkAccessManager* m_manager;
    QNetworkReply* m_reply = nullptr;
    QByteArray m_data;
    QTimer m_timeout;
    int m_statusCode = 0;
    bool m_done = false;
};
