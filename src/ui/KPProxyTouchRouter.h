#pragma once

#include <QEventPoint>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

class QGraphicsProxyWidget;
class QGestureEvent;
class QGraphicsView;
class QTouchEvent;
class QTransform;
class QWidget;

// Delivers the touches on a graphics view to the widgets of the screen embedded in it, as a
// window delivers touches to its own widgets: each finger goes to the touch-accepting widget it
// came down on, in that widget's coordinates, and stays with it until it lifts, so one finger
// can hold a key while another presses a button. (The view alone would make one mouse of them.)
// Fingers that land on no touch-accepting widget are left to the view, which presses plain
// widgets with a mouse made from them.
class KPProxyTouchRouter : public QObject
{
public:
    KPProxyTouchRouter(QGraphicsView& view, QGraphicsProxyWidget& proxy, QObject* parent = nullptr);

    // True when the touch went to the screen's widgets and the view must not handle it too.
    // A cancelled touch cancels every widget still touched.
    bool route(const QTouchEvent& event);
    // Cancels the touch of every widget still touched, as when the window goes away.
    void cancelAll();
    // Qt aims a gesture made of routed touches (a long press) by its hot spot at the view; it
    // goes instead to the screen's widget under that spot, and rises through its parents.
    // True when it was sent there.
    bool routeGesture(QGestureEvent& event);

private:
    struct Delivery
    {
        QPointer<QWidget> widget;
        QList<QEventPoint> points;
        bool began = false;
        // Where the widget lies in the screen.
        QPointF origin;
    };

    // From the view's surface to the screen's points.
    QTransform viewToScreen() const;
    QWidget* widgetAt(QPointF inScreen) const;
    QWidget* receiverAt(QPointF inScreen) const;
    void deliver(const Delivery& delivery, const QTouchEvent& original);

    QGraphicsView& m_view;
    QGraphicsProxyWidget& m_proxy;
    // Each finger down and the widget it belongs to.
    QHash<int, QPointer<QWidget>> m_receivers;
    // The widgets between their touch's begin and end.
    QList<QPointer<QWidget>> m_touched;
};
