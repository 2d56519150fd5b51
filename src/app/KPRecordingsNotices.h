#pragma once

#include <QObject>
#include <QPointer>

class KPRecordingsManager;
class QMessageBox;
class QWidget;

// Tells the user in the window what happened to the recordings file: that it could not be read
// at start (and where it was kept), and that saving fails, once per run of failures, with the
// system's reason; the notice goes when a later save succeeds.
class KPRecordingsNotices : public QObject
{
    Q_OBJECT

public:
    KPRecordingsNotices(KPRecordingsManager& manager, QWidget* window);

private:
    void show(QPointer<QMessageBox>& box, const QString& text);

    QPointer<QWidget> m_window;
    QPointer<QMessageBox> m_archiveBox;
    QPointer<QMessageBox> m_saveBox;
};
