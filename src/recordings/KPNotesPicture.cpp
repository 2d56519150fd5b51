#include "recordings/KPNotesPicture.h"

#include "recordings/KPRecordingSummary.h"
#include "ui/KPUtils.h"

#include <QPainter>

KPNotesPicture::KPNotesPicture(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void KPNotesPicture::setRecording(const KPPianoRecording& recording)
{
    m_bars = KPRecordingSummary::noteBars(recording);
    update();
}

void KPNotesPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(KPUtils::colorFromHex(QStringLiteral("D8D5CD")));
    painter.setBrush(KPUtils::colorFromHex(QStringLiteral("F7F6F3")));
    painter.drawRoundedRect(area, 3, 3);
    const QRectF inside = area.adjusted(2, 2, -2, -2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(KPUtils::colorFromHex(QStringLiteral("F5A623")));
    for (const QRectF& bar : std::as_const(m_bars)) {
        const QRectF shown(inside.x() + bar.x() * inside.width(),
                           inside.y() + bar.y() * inside.height(),
                           std::max(1.0, bar.width() * inside.width()),
                           std::max(1.0, bar.height() * inside.height()));
        painter.drawRect(shown);
    }
}
