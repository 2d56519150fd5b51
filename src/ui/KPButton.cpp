#include "ui/KPButton.h"

#include <QPainter>
#include <QTouchEvent>

KPButton::KPButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_AcceptTouchEvents);
}

void KPButton::setImage(const QPixmap& image)
{
    m_image = image;
    update();
}

void KPButton::setSelectedPlate(const QPixmap& plate)
{
    m_plate = plate;
    update();
}

void KPButton::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void KPButton::setHighlighted(bool highlighted)
{
    if (m_highlighted == highlighted)
        return;
    m_highlighted = highlighted;
    update();
}

bool KPButton::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        handleTouch(*static_cast<QTouchEvent*>(event));
        event->accept();
        return true;
    case QEvent::TouchCancel:
        m_touch.reset();
        setDown(false);
        event->accept();
        return true;
    default:
        return QAbstractButton::event(event);
    }
}

void KPButton::handleTouch(const QTouchEvent& event)
{
    for (const QEventPoint& point : event.points()) {
        const bool inside = hitButton(point.position().toPoint());
        if (!m_touch) {
            if (point.state() == QEventPoint::State::Pressed && inside) {
                m_touch = point.id();
                setDown(true);
            }
            continue;
        }
        if (point.id() != *m_touch)
            continue;
        if (point.state() == QEventPoint::State::Released || !inside) {
            m_touch.reset();
            setDown(false);
            if (point.state() == QEventPoint::State::Released && inside)
                click();
        }
    }
}

QSize KPButton::sizeHint() const
{
    return m_image.isNull() ? QSize(40, 40) : m_image.deviceIndependentSize().toSize();
}

void KPButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const auto centred = [this](const QPixmap& pixmap) {
        const QSizeF size = pixmap.deviceIndependentSize();
        return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    };
    if (m_selected && !m_plate.isNull())
        painter.drawPixmap(centred(m_plate), m_plate, m_plate.rect());
    if (!isEnabled())
        painter.setOpacity(0.35);
    else if (isHighlighted())
        painter.setOpacity(0.6);
    if (!m_image.isNull())
        painter.drawPixmap(centred(m_image), m_image, m_image.rect());
}
