#include "ui/KPSmartTableViewCell.h"

KPSmartTableViewCell::KPSmartTableViewCell(const QString& cellIdentifier, QWidget* parent)
    : QWidget(parent), m_reuseIdentifier(cellIdentifier)
{}

void KPSmartTableViewCell::setBackgroundColor(const QColor& color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, color);
    setPalette(palette);
    setAutoFillBackground(true);
}
