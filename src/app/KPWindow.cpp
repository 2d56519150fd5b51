#include "app/KPWindow.h"

#include "app/KPViewController.h"
#include "ui/KPImages.h"
#include "ui/KPProxyTouchRouter.h"
#include "ui/KPScaledProxyWidget.h"
#include "ui/KPUtils.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGestureEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>

#include <cmath>

namespace {

// Room left for the window manager's title bar and borders, which are not known before the
// window shows.
constexpr QSize kFrameAllowance(16, 48);

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

KPWindow::KPWindow(const QSize& size, QWidget* parent) : QGraphicsView(parent), m_size(size)
{
    setScene(new QGraphicsScene(QRectF(QPointF(0, 0), size), this));
    setWindowTitle(QStringLiteral("Touch Piano"));
    setWindowIcon(QIcon(KPImages::named(QStringLiteral("touchpiano"))));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAlignment(Qt::AlignCenter);
    setBackgroundBrush(Qt::black);
    setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                   QPainter::TextAntialiasing);
    // The screen changes in small places (a key, a button); only those are drawn again.
    setViewportUpdateMode(QGraphicsView::MinimalViewportUpdate);
    viewport()->setAttribute(Qt::WA_AcceptTouchEvents);
    // Qt hands a long press to the widget under it only if that widget, here the view's surface,
    // asked for it; the view passes it on to the screen's widget there.
    viewport()->grabGesture(Qt::TapAndHoldGesture);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // Half the designed size at least, so the keys stay large enough for a finger.
    setMinimumSize(size / 2);
    resize(size);
    auto* fullScreen = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(fullScreen, &QShortcut::activated, this, &KPWindow::toggleFullScreen);
}

void KPWindow::fitScreen(int pointsWide)
{
    if (const QScreen* shownOn = screen())
        resize(firstSize(m_size, pointsWide, shownOn->availableGeometry().size() - kFrameAllowance)
                   .expandedTo(minimumSize()));
}

QSize KPWindow::firstSize(QSize designed, int pointsWide, QSize room)
{
    const QSize wide(std::max(pointsWide, designed.width()), designed.height());
    const QSize wideFitted = wide.scaled(room, Qt::KeepAspectRatio).boundedTo(wide);
    if (wide.width() > designed.width() && wideFitted.height() * 3 >= designed.height() * 2)
        return wideFitted;
    return designed.scaled(room, Qt::KeepAspectRatio).boundedTo(designed);
}

void KPWindow::toggleFullScreen()
{
    setWindowState(windowState() ^ Qt::WindowFullScreen);
}

// The screen is scaled to fit the window, up or down. A window wider than the designed shape
// gets a wider screen at that scale (more keys, a longer toolbar) rather than bars at its sides;
// a taller one gets bars above and below.
void KPWindow::fitView()
{
    const qreal scale = std::min(qreal(viewport()->width()) / m_size.width(),
                                 qreal(viewport()->height()) / m_size.height());
    if (scale <= 0)
        return;
    const int width = std::max(m_size.width(), int(std::floor(viewport()->width() / scale + 1e-6)));
    if (QWidget* root = rootView(); root && root->width() != width) {
        const QRect before = root->rect();
        root->resize(width, m_size.height());
        // What filled the screen fills it still.
        for (QWidget* child : root->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->geometry() == before)
                child->setGeometry(root->rect());
        scene()->setSceneRect(root->rect());
    }
    setTransform(QTransform::fromScale(scale, scale));
}

void KPWindow::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    fitView();
}

QPointF KPWindow::mapFromView(const QWidget* widget, QPointF point) const
{
    if (!m_proxy || !m_proxy->widget())
        return point;
    const QPointF inView = widget->mapTo(m_proxy->widget(), point);
    return viewportTransform().map(m_proxy->mapToScene(inView));
}

bool KPWindow::event(QEvent* event)
{
    // A field of the screen with the focus claims its keys (Return ends a name) before any
    // shortcut of the window sees them, as it would in a plain window.
    if (event->type() == QEvent::ShortcutOverride && scene()) {
        event->ignore();
        QCoreApplication::sendEvent(scene(), event);
        if (event->isAccepted())
            return true;
    }
    const bool goingAway = event->type() == QEvent::WindowDeactivate ||
                           event->type() == QEvent::Hide ||
                           (event->type() == QEvent::WindowStateChange && isMinimized());
    const bool handled = QGraphicsView::event(event);
    // The screen lives in a window of its own that never goes away: it is told when this one
    // does, so no finger, mouse or key holds a note on meanwhile.
    if (goingAway && rootView()) {
        m_touchRouter->cancelAll();
        QEvent away(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(rootView(), &away);
    }
    return handled;
}

// A press anywhere but on the field being edited ends the edit, and the keys play again.
void KPWindow::endEditingAwayFrom(QPointF inViewport)
{
    QWidget* root = rootView();
    QWidget* focus = root ? root->focusWidget() : nullptr;
    if (!focus || !focus->testAttribute(Qt::WA_InputMethodEnabled))
        return;
    const QPointF inRoot = m_proxy->mapFromScene(mapToScene(inViewport.toPoint()));
    const QWidget* hit = root->childAt(inRoot.toPoint());
    if (hit && (hit == focus || focus->isAncestorOf(hit)))
        return;
    KPUtils::endEditing(focus);
}

bool KPWindow::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        endEditingAwayFrom(static_cast<QMouseEvent*>(event)->position());
    else if (event->type() == QEvent::TouchBegin)
        for (const QEventPoint& point : static_cast<QTouchEvent*>(event)->points())
            endEditingAwayFrom(point.position());
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        if (m_touchRouter && m_touchRouter->route(*static_cast<QTouchEvent*>(event))) {
            event->accept();
            return true;
        }
        break;
    case QEvent::Gesture:
    case QEvent::GestureOverride:
        if (m_touchRouter && m_touchRouter->routeGesture(*static_cast<QGestureEvent*>(event)))
            return true;
        break;
    default:
        break;
    }
    return QGraphicsView::viewportEvent(event);
}

void KPWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!midiFilesIn(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void KPWindow::dragMoveEvent(QDragMoveEvent* event)
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

QWidget* KPWindow::rootView() const
{
    return m_proxy ? m_proxy->widget() : nullptr;
}

void KPWindow::makeKeyAndVisible()
{
    if (m_rootViewController && !m_proxy) {
        QWidget* view = m_rootViewController->view();
        view->setGeometry(QRect(QPoint(0, 0), m_size));
        m_proxy = new KPScaledProxyWidget;
        m_proxy->setWidget(view);
        // The proxy takes the root view's own policy, none; without one, a field of the view
        // could not take the focus from a click.
        m_proxy->setFocusPolicy(Qt::ClickFocus);
        scene()->addItem(m_proxy);
        m_touchRouter = new KPProxyTouchRouter(*this, *m_proxy, this);
        fitView();
    }
    show();
    activateWindow();
}
