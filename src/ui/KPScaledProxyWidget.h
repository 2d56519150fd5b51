#pragma once

#include <QGraphicsProxyWidget>
#include <QPixmap>

// Shows its widget at whatever scale the view draws it, sharp: the widget paints into a pixmap
// at the device's resolution, which is then drawn one pixel to one (scaled down, below one pixel
// per point). Painting it straight through
// the view's scaled painter, as the plain proxy does, misplaces and clips what its children
// draw through graphics effects (the fades).
//
// A key goes to the widget's focus widget once and rises through its parents as in a window.
// The plain proxy sends it anew to each parent, and every sending tries the window's shortcuts
// again, so a key a field lets pass (Return ending a name) would fire a shortcut once a level.
class KPScaledProxyWidget : public QGraphicsProxyWidget
{
public:
    using QGraphicsProxyWidget::QGraphicsProxyWidget;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void sendKey(QKeyEvent* event);

    QPixmap m_canvas;
};
