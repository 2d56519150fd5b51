#pragma once

#include "app/KPViewController.h"

#include <QGraphicsView>
#include <QPointer>

class KPProxyTouchRouter;
class QGraphicsProxyWidget;

// The application's one window, in landscape. Its root view controller's view is laid out at the
// idiom's size in points and drawn scaled to fit the window, uniformly and centred, so the window
// can be resized, maximised or made full screen (F11) on a large monitor; clicks and touches land
// on what is drawn under them at any scale. MIDI files can be dropped on it.
class KPWindow : public QGraphicsView
{
    Q_OBJECT

public:
    explicit KPWindow(const QSize& size, QWidget* parent = nullptr);

    void setRootViewController(KPViewController* controller);
    KPViewController* rootViewController() const { return m_rootViewController; }
    void makeKeyAndVisible();
    // The root view controller's view, once shown.
    QWidget* rootView() const;

    // How many window pixels a point of the view takes.
    qreal scale() const { return transform().m11(); }
    // Where a point of a widget in the root view is in the window.
    QPointF mapFromView(const QWidget* widget, QPointF point) const;

    void toggleFullScreen();
    // The first size on a screen: see firstSize().
    void fitScreen(int pointsWide = 0);
    // The designed size, made smaller (keeping its shape) where the window would not fit `room`,
    // the screen's free area less a title bar. Given a width in points wider than designed, the
    // window takes that wider shape instead where `room` holds it at two thirds of the designed
    // scale or more.
    static QSize firstSize(QSize designed, int pointsWide, QSize room);

signals:
    // MIDI files dropped on the window, as local paths.
    void midiFilesDropped(const QStringList& paths);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void fitView();
    void endEditingAwayFrom(QPointF inViewport);

    QSize m_size;
    QPointer<KPViewController> m_rootViewController;
    QGraphicsProxyWidget* m_proxy = nullptr;
    KPProxyTouchRouter* m_touchRouter = nullptr;
};
