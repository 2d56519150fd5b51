#pragma once

#include "platform/KPUserDefaults.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class KPCrashReportSender;
class QAbstractButton;
class QWidget;

// Crash reporting for one run: reports of this run are written by the fatal-signal handler;
// reports left by earlier runs go to the maker's server only with the user's consent. The
// first time reports wait, the user is asked once (send, don't send, always send); "always
// send" is remembered in the user defaults and sends without asking from then on. Nothing
// leaves the machine before an answer; "don't send" discards the waiting reports.
class KPCrashReporter : public QObject
{
    Q_OBJECT

public:
    static constexpr auto kAlwaysSendKey = "KPCrashReporterAlwaysSend";
    static constexpr auto kEndpointPath = "/crashreport/submit.php";

    // folder: where reports are kept; server: the base URL the endpoint path is added to.
    KPCrashReporter(KPUserDefaults& defaults, const QString& folder, const QUrl& server,
                    QObject* parent = nullptr);
    ~KPCrashReporter() override;

    // Installs the handler for this run, then sends or asks about the reports that wait.
    void start();
    // The window the question belongs to: it is asked in front of that window, not behind it.
    void setWindow(QWidget* window) { m_window = window; }

signals:
    // The waiting reports have been dealt with: sent (or kept after a failure) or discarded.
    void finished();

private:
    void ask();
    void answered(QAbstractButton* button);
    void sendWaitingReports();

    KPUserDefaults& m_defaults;
    QString m_folder;
    QUrl m_endpoint;
    QPointer<QWidget> m_window;
    // Owned by the window it belongs to, or by itself (deleted once closed).
    QPointer<QMessageBox> m_question;
    std::unique_ptr<KPCrashReportSender> m_sender;
};
