#include "crash/KPCrashReporter.h"

#include "crash/KPCrashHandler.h"
#include "crash/KPCrashReportSender.h"
#include "platform/KPLocalization.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

KPCrashReporter::KPCrashReporter(KPUserDefaults& defaults, const QString& folder,
                                 const QUrl& server, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_folder(folder),
      m_endpoint(server.resolved(QUrl(QString::fromLatin1(kEndpointPath))))
{}

KPCrashReporter::~KPCrashReporter()
{
    if (m_question)
        m_question->close();
}

void KPCrashReporter::start()
{
    // Reports waiting from earlier runs are listed before this run's handler can add one.
    const bool reportsWait = !KPCrashReportSender::waitingReports(m_folder).isEmpty();
    KPCrashHandler::install(m_folder, QCoreApplication::applicationVersion());
    if (!reportsWait)
        return;
    if (m_defaults.value(QString::fromLatin1(kAlwaysSendKey)).toBool())
        sendWaitingReports();
    else
        // Asked once the launch has shown the window, so the question is not hidden behind it.
        QTimer::singleShot(0, this, &KPCrashReporter::ask);
}

void KPCrashReporter::ask()
{
    m_question = new QMessageBox(m_window);
    m_question->setAttribute(Qt::WA_DeleteOnClose);
    m_question->setIcon(QMessageBox::Question);
    m_question->setWindowTitle(QCoreApplication::applicationName());
    m_question->setText(KPLocalization::string("CRASHTITLE"));
    m_question->setInformativeText(KPLocalization::string("CRASHMSG"));
    m_question->addButton(KPLocalization::string("CRASHDONTSEND"), QMessageBox::RejectRole);
    m_question->addButton(KPLocalization::string("CRASHALWAYS"), QMessageBox::YesRole);
    m_question->setDefaultButton(
        m_question->addButton(KPLocalization::string("CRASHSEND"), QMessageBox::AcceptRole));
    m_question->setWindowModality(Qt::NonModal);
    connect(m_question, &QMessageBox::buttonClicked, this, &KPCrashReporter::answered);
    m_question->show();
}

void KPCrashReporter::answered(QAbstractButton* button)
{
    switch (m_question->buttonRole(button)) {
    case QMessageBox::YesRole:
        m_defaults.setValue(QString::fromLatin1(kAlwaysSendKey), true);
        sendWaitingReports();
        break;
    case QMessageBox::AcceptRole:
        sendWaitingReports();
        break;
    case QMessageBox::RejectRole:
        for (const QString& path : KPCrashReportSender::waitingReports(m_folder))
            QFile::remove(path);
        qInfo("KPCrashReporter: Waiting reports discarded");
        emit finished();
        break;
    default:
        break;
    }
}

void KPCrashReporter::sendWaitingReports()
{
    m_sender = std::make_unique<KPCrashReportSender>(m_folder, m_endpoint);
    connect(m_sender.get(), &KPCrashReportSender::finished, this, &KPCrashReporter::finished);
    m_sender->send();
}
