#include "settings/KPSettingsView.h"

KPSettingsView::KPSettingsView(QWidget* parent) : QWidget(parent) {}

void KPSettingsView::setShowing(bool showing)
{
    m_showing = showing;
}
