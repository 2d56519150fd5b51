#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

// Sends the reports waiting in a folder, one after another, each as the body of an HTTP POST
// to the crash endpoint. A report is deleted only once the server accepted it (status 2xx);
// a refusal or a network failure keeps it for the next run. Never blocks the caller.
class KPCrashReportSender : public QObject
{
    Q_OBJECT

public:
    KPCrashReportSender(const QString& folder, const QUrl& endpoint, QObject* parent = nullptr);

    // Finished reports in the folder, oldest first.
    static QStringList waitingReports(const QString& folder);

    // Starts sending what waits now; finished() follows, also when nothing waits.
    void send();

signals:
    void finished();

private:
    void sendNext();
    void answered(int status, const QString& path);

    QString m_folder;
    QUrl m_endpoint;
    QStringList m_queue;
};
