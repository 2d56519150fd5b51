#pragma once

#include <QGraphicsProxyWidget>
#include <QPixmap>

// Shows its widget at whatever scale the view draws it, sharp: the widget paints into a pixmap
// at the device's resolution, which is then drawn one pixel to one. Painting it straight through
// the view's scaled painter, as the plain proxy does, misplaces and clips what its children
// draw through graphics effects (the fades).
class KPScaledProxyWidget : public QGraphicsProxyWidget
{
public:
    using QGraphicsProxyWidget::QGraphicsProxyWidget;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QPixmap m_canvas;
};
