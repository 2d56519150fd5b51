#include "app/KPWindow.h"

#include "app/KPViewController.h"
#include "ui/KPImages.h"

KPWindow::KPWindow(const QSize& size, QWidget* parent) : QWidget(parent)
{
    setFixedSize(size);
    setWindowTitle(QStringLiteral("Touch Piano"));
    setWindowIcon(QIcon(KPImages::named(QStringLiteral("touchpiano"))));
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
