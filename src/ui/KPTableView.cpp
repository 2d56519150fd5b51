#include "ui/KPTableView.h"

#include "ui/KPSmartTableViewCell.h"

KPTableView::KPTableView(QWidget* parent) : QScrollArea(parent)
{
    setWidget(new QWidget(this));
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
}

KPSmartTableViewCell* KPTableView::dequeueReusableCell(const QString& identifier)
{
    auto& pool = m_reusable[identifier];
    while (!pool.isEmpty()) {
        if (KPSmartTableViewCell* cell = pool.takeLast()) {
            cell->show();
            return cell;
        }
    }
    return nullptr;
}

void KPTableView::enqueueReusableCell(KPSmartTableViewCell* cell)
{
    cell->hide();
    m_reusable[cell->reuseIdentifier()].append(cell);
}
