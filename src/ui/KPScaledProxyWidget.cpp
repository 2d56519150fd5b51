#include "ui/KPScaledProxyWidget.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>

void KPScaledProxyWidget::paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
                                QWidget* /*widget*/)
{
    QWidget* shown = widget();
    if (!shown)
        return;
    const QRect exposed = option->exposedRect.toAlignedRect() & shown->rect();
    if (exposed.isEmpty())
        return;
    // Widgets do not paint below one pixel per point: a smaller screen is drawn at full size and
    // scaled down as it is shown, rather than cut off.
    const qreal scale = std::max(painter->deviceTransform().m11(), qreal(1));
    const QSize pixels = (QSizeF(shown->size()) * scale).toSize();
    if (m_canvas.size() != pixels)
        m_canvas = QPixmap(pixels);
    m_canvas.setDevicePixelRatio(scale);
    {
        QPainter clear(&m_canvas);
        clear.setCompositionMode(QPainter::CompositionMode_Source);
        clear.fillRect(exposed, Qt::transparent);
    }
    shown->render(&m_canvas, exposed.topLeft(), QRegion(exposed),
                  QWidget::DrawChildren | QWidget::DrawWindowBackground);
    painter->drawPixmap(QRectF(exposed), m_canvas,
                        QRectF(QPointF(exposed.topLeft()) * scale, QSizeF(exposed.size()) * scale));
}

void KPScaledProxyWidget::keyPressEvent(QKeyEvent* event)
{
    sendKey(event);
}

void KPScaledProxyWidget::keyReleaseEvent(QKeyEvent* event)
{
    sendKey(event);
}

void KPScaledProxyWidget::sendKey(QKeyEvent* event)
{
    QWidget* focus = widget() ? widget()->focusWidget() : nullptr;
    if (!focus) {
        event->ignore();
        return;
    }
    QCoreApplication::sendEvent(focus, event);
}
