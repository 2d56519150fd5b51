#include "ui/KPProxyTouchRouter.h"

#include <QCoreApplication>
#include <QGesture>
#include <QGestureEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
#include <QTouchEvent>
#include <QTransform>
#include <QVarLengthArray>
#include <QWidget>
#include <QWindow>

// Qt keeps setting a point's positions to itself; a widget embedded in a view needs its own.
#include <QtGui/private/qeventpoint_p.h>

KPProxyTouchRouter::KPProxyTouchRouter(QGraphicsView& view, QGraphicsProxyWidget& proxy,
                                       QObject* parent)
    : QObject(parent), m_view(view), m_proxy(proxy)
{}

QTransform KPProxyTouchRouter::viewToScreen() const
{
    // In floating point, so a finger keeps its fraction of a point at any scale.
    return m_view.viewportTransform().inverted() * m_proxy.sceneTransform().inverted();
}

QWidget* KPProxyTouchRouter::widgetAt(QPointF inScreen) const
{
    QWidget* screen = m_proxy.widget();
    const QPoint at = inScreen.toPoint();
    if (!screen || !screen->rect().contains(at))
        return nullptr;
    QWidget* widget = screen->childAt(at);
    return widget ? widget : screen;
}

QWidget* KPProxyTouchRouter::receiverAt(QPointF inScreen) const
{
    QWidget* widget = widgetAt(inScreen);
    while (widget && !(widget->testAttribute(Qt::WA_AcceptTouchEvents) && widget->isEnabled()))
        widget = widget->parentWidget();
    return widget;
}

bool KPProxyTouchRouter::route(const QTouchEvent& event)
{
    if (event.type() == QEvent::TouchCancel) {
        cancelAll();
        return false;
    }
    const QTransform toScreen = viewToScreen();
    QVarLengthArray<Delivery, 4> deliveries;
    for (const QEventPoint& point : event.points()) {
        if (point.state() == QEventPoint::State::Pressed)
            m_receivers.insert(point.id(), receiverAt(toScreen.map(point.position())));
        QWidget* widget = m_receivers.value(point.id());
        if (!widget)
            continue;
        auto delivery = std::find_if(deliveries.begin(), deliveries.end(),
                                     [widget](const Delivery& d) { return d.widget == widget; });
        if (delivery == deliveries.end()) {
            const QPointF origin = widget->mapTo(m_proxy.widget(), QPointF());
            deliveries.append({widget, {}, !m_touched.contains(widget), origin});
            delivery = deliveries.end() - 1;
        }
        QEventPoint routed(point);
        QMutableEventPoint::detach(routed);
        const QPointF position = toScreen.map(point.position()) - delivery->origin;
        const QPointF last = toScreen.map(point.lastPosition()) - delivery->origin;
        QMutableEventPoint::setPosition(routed, position);
        QMutableEventPoint::setScenePosition(routed, position);
        // A widget reads lastPosition() as position() plus the movement on the screen since.
        QMutableEventPoint::setGlobalLastPosition(routed, point.globalPosition() + last - position);
        delivery->points.append(routed);
        if (point.state() == QEventPoint::State::Released)
            m_receivers.remove(point.id());
    }
    for (const Delivery& delivery : deliveries) {
        // As in a window, a widget whose fingers all stood still hears nothing.
        if (std::any_of(delivery.points.cbegin(), delivery.points.cend(), [](const QEventPoint& p) {
                return p.state() != QEventPoint::State::Stationary;
            }))
            deliver(delivery, event);
    }
    return !deliveries.isEmpty();
}

void KPProxyTouchRouter::deliver(const Delivery& delivery, const QTouchEvent& original)
{
    const QPointer<QWidget>& widget = delivery.widget;
    const bool stillDown =
        std::find(m_receivers.cbegin(), m_receivers.cend(), widget) != m_receivers.cend();
    m_touched.removeAll(widget);
    if (stillDown)
        m_touched.append(widget);
    const auto send = [&](QEvent::Type type) {
        if (!widget)
            return;
        QTouchEvent touch(type, original.pointingDevice(), original.modifiers(), delivery.points);
        touch.setTimestamp(original.timestamp());
        QCoreApplication::sendEvent(widget, &touch);
    };
    if (delivery.began)
        send(QEvent::TouchBegin);
    // A finger that came and went within one event still ends its widget's touch.
    if (!delivery.began || !stillDown)
        send(stillDown ? QEvent::TouchUpdate : QEvent::TouchEnd);
}

void KPProxyTouchRouter::cancelAll()
{
    const QList<QPointer<QWidget>> touched = std::exchange(m_touched, {});
    m_receivers.clear();
    for (const QPointer<QWidget>& widget : touched) {
        if (!widget)
            continue;
        QTouchEvent cancel(QEvent::TouchCancel);
        QCoreApplication::sendEvent(widget, &cancel);
    }
}

bool KPProxyTouchRouter::routeGesture(QGestureEvent& event)
{
    const QList<QGesture*> gestures = event.gestures();
    if (gestures.isEmpty() || !gestures.first()->hasHotSpot())
        return false;
    const QPointF hotSpot = m_view.viewport()->mapFromGlobal(gestures.first()->hotSpot());
    QWidget* widget = widgetAt(viewToScreen().map(hotSpot));
    if (!widget)
        return false;
    QCoreApplication::sendEvent(widget, &event);
    return true;
}
