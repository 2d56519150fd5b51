#include "app/KPWindow.h"

#include "app/KPViewController.h"
#include "ui/KPImages.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace {

QStringList midiFilesIn(const QMimeData* data)
{
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (path.endsWith(QLatin1String(".mid"), Qt::CaseInsensitive) ||
            path.endsWith(QLatin1String(".midi"), Qt::CaseInsensitive))
            paths << path;
    }
    return paths;
}

} // namespace

KPWindow::KPWindow(const QSize& size, QWidget* parent) : QWidget(parent)
{
    setFixedSize(size);
    setWindowTitle(QStringLiteral("Touch Piano"));
    setWindowIcon(QIcon(KPImages::named(QStringLiteral("touchpiano"))));
    setAcceptDrops(true);
}

void KPWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!midiFilesIn(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void KPWindow::dropEvent(QDropEvent* event)
{
    const QStringList paths = midiFilesIn(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    emit midiFilesDropped(paths);
}

void KPWindow::setRootViewController(KPViewController* controller)
{
    m_rootViewController = controller;
}

void KPWindow::makeKeyAndVisible()
{
    if (m_rootViewController) {
        QWidget* view = m_rootViewController->view();
        view->setParent(this);
        view->setGeometry(rect());
        view->show();
    }
    show();
    activateWindow();
}
