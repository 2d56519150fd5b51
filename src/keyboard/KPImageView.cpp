#include "keyboard/KPImageView.h"

#include <QPainter>

KPImageView::KPImageView(const QPixmap& image, QSize size, QWidget* parent)
    : QWidget(parent), m_image(image)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(QRect(QPoint(0, 0), size));
}

void KPImageView::setAlpha(qreal alpha)
{
    alpha = qBound(0.0, alpha, 1.0);
    if (alpha == m_alpha)
        return;
    m_alpha = alpha;
    update();
}

void KPImageView::paintEvent(QPaintEvent* /*event*/)
{
    if (m_alpha <= 0.0 || m_image.isNull())
        return;
    QPainter painter(this);
    painter.setOpacity(m_alpha);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), m_image);
}
