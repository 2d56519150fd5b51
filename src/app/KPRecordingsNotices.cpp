#include "app/KPRecordingsNotices.h"

#include "platform/KPLocalization.h"
#include "recordings/KPRecordingsManager.h"

#include <QMessageBox>

KPRecordingsNotices::KPRecordingsNotices(KPRecordingsManager& manager, QWidget* window)
    : m_window(window)
{
    if (!manager.archiveProblem().isEmpty())
        show(m_archiveBox,
             KPLocalization::string("ARCHIVEUNREADABLE").arg(manager.archiveProblem()));
    connect(&manager, &KPRecordingsManager::saveFailed, this, [this](const QString& error) {
        if (!m_saveBox)
            show(m_saveBox, KPLocalization::string("SAVEFAILED").arg(error));
    });
    connect(&manager, &KPRecordingsManager::saveRecovered, this, [this] {
        if (m_saveBox)
            m_saveBox->close();
    });
}

void KPRecordingsNotices::show(QPointer<QMessageBox>& box, const QString& text)
{
    box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Touch Piano"), text,
                          QMessageBox::Ok, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
