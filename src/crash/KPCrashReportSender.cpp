#include "crash/KPCrashReportSender.h"

#include "crash/KPCrashHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// Our own reports are a few kilobytes; anything beyond this is not sent whole.
constexpr qint64 kMaxReportSize = 1024 * 1024;
constexpr int kTransferTimeoutMs = 60 * 1000;
} // namespace

KPCrashReportSender::KPCrashReportSender(const QString& folder, const QUrl& endpoint,
                                         QObject* parent)
    : QObject(parent), m_folder(folder), m_endpoint(endpoint)
{}

QStringList KPCrashReportSender::waitingReports(const QString& folder)
{
    QStringList paths;
    const QFileInfoList files =
        QDir(folder).entryInfoList({KPCrashHandler::reportPattern()}, QDir::Files, QDir::Name);
    for (const QFileInfo& file : files)
        paths << file.absoluteFilePath();
    return paths;
}

void KPCrashReportSender::send()
{
    m_queue = waitingReports(m_folder);
    sendNext();
}

void KPCrashReportSender::sendNext()
{
    if (m_queue.isEmpty()) {
        emit finished();
        return;
    }
    const QString path = m_queue.takeFirst();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("KPCrashReportSender: Could not read %s", qPrintable(path));
        sendNext();
        return;
    }
    QNetworkRequest request(m_endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain"));
    request.setTransferTimeout(kTransferTimeoutMs);
    QNetworkReply* reply = m_network.post(request, file.read(kMaxReportSize));
    // The server's answer is not needed: drop it as it comes, however long it is, holding no
    // more of it than a small buffer.
    reply->setReadBufferSize(64 * 1024);
    connect(reply, &QIODevice::readyRead, reply, [reply] { reply->skip(reply->bytesAvailable()); });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, path] { replyFinished(reply, path); });
}

void KPCrashReportSender::replyFinished(QNetworkReply* reply, const QString& path)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString name = QFileInfo(path).fileName();
    if (status >= 200 && status < 300) {
        if (QFile::remove(path))
            qInfo("KPCrashReportSender: Sent %s", qPrintable(name));
        else
            qWarning("KPCrashReportSender: Sent %s but could not delete it", qPrintable(name));
    } else if (reply->error() != QNetworkReply::NoError && status == 0) {
        qWarning("KPCrashReportSender: Could not send %s: %s", qPrintable(name),
                 qPrintable(reply->errorString()));
    } else {
        qWarning("KPCrashReportSender: Server refused %s with status %d", qPrintable(name), status);
    }
    sendNext();
}
