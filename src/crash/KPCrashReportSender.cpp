#include "crash/KPCrashReportSender.h"

#include "crash/KPCrashHandler.h"
#include "net/KPHTTPRequest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
// Our own reports are a few kilobytes; anything beyond this is not sent whole.
constexpr qint64 kMaxReportSize = 1024 * 1024;
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
    // The server's answer is not needed beyond its status; the request holds little of it.
    auto* request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, this);
    connect(request, &KPHTTPRequest::requestResult, this,
            [this, request, path] { answered(request->statusCode(), path); });
    connect(request, &KPHTTPRequest::requestFailure, this, [this, path] { answered(0, path); });
    request->httpPost(m_endpoint.toString(), file.read(kMaxReportSize),
                      QByteArrayLiteral("text/plain"));
}

// Status 0: no answer came (the request's own line says why).
void KPCrashReportSender::answered(int status, const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (status >= 200 && status < 300) {
        if (QFile::remove(path))
            qInfo("KPCrashReportSender: Sent %s", qPrintable(name));
        else
            qWarning("KPCrashReportSender: Sent %s but could not delete it", qPrintable(name));
    } else if (status == 0) {
        qWarning("KPCrashReportSender: Could not send %s", qPrintable(name));
    } else {
        qWarning("KPCrashReportSender: Server refused %s with status %d", qPrintable(name), status);
    }
    sendNext();
}
