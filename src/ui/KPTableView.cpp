#include "ui/KPTableView.h"

#include "ui/KPSmartTableViewCell.h"
#include "ui/KPTableViewDataSource.h"

#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QScroller>

namespace {
constexpr int kDeleteSlideDuration = 250;
}

KPTableView::KPTableView(QWidget* parent) : QScrollArea(parent)
{
    setWidget(new QWidget(this));
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QScroller::grabGesture(viewport(), QScroller::TouchGesture);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &KPTableView::layoutRows);
}

void KPTableView::setDataSource(KPTableViewDataSource* dataSource)
{
    m_dataSource = dataSource;
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

void KPTableView::reloadData()
{
    m_loaded = true;
    for (KPSmartTableViewCell* cell : std::as_const(m_visible))
        enqueueReusableCell(cell);
    m_visible.clear();
    updateContentSize();
    layoutRows();
}

void KPTableView::deleteRow(int row)
{
    KPSmartTableViewCell* removed = m_visible.take(row);
    QHash<int, KPSmartTableViewCell*> shifted;
    for (auto it = m_visible.cbegin(); it != m_visible.cend(); ++it)
        shifted.insert(it.key() > row ? it.key() - 1 : it.key(), it.value());
    m_visible = shifted;
    updateContentSize();
    layoutRows();
    if (!removed)
        return;
    removed->raise();
    auto* slide = new QPropertyAnimation(removed, "pos", removed);
    slide->setDuration(kDeleteSlideDuration);
    slide->setEndValue(QPoint(removed->width(), removed->y()));
    connect(slide, &QAbstractAnimation::finished, this,
            [this, removed] { enqueueReusableCell(removed); });
    slide->start(QAbstractAnimation::DeleteWhenStopped);
}

KPSmartTableViewCell* KPTableView::cellForRowAtIndexPath(int row) const
{
    return m_visible.value(row);
}

int KPTableView::indexPathForCell(const KPSmartTableViewCell* cell) const
{
    for (auto it = m_visible.cbegin(); it != m_visible.cend(); ++it)
        if (it.value() == cell)
            return it.key();
    return -1;
}

void KPTableView::setEditing(bool editing)
{
    m_editing = editing;
    for (KPSmartTableViewCell* cell : std::as_const(m_visible))
        cell->setEditing(editing);
}

int KPTableView::contentOffset() const
{
    return verticalScrollBar()->value();
}

void KPTableView::setContentOffset(int y)
{
    verticalScrollBar()->setValue(y);
}

void KPTableView::setBottomInset(int inset)
{
    m_bottomInset = std::max(inset, 0);
    updateContentSize();
}

void KPTableView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    updateContentSize();
    layoutRows();
}

void KPTableView::updateContentSize()
{
    const int rows =
        m_dataSource && m_loaded ? std::max(m_dataSource->numberOfRowsInSection(this, 0), 0) : 0;
    m_rowTops.resize(rows + 1);
    m_rowTops[0] = 0;
    for (int row = 0; row < rows; ++row)
        m_rowTops[row + 1] = m_rowTops[row] + m_dataSource->heightForRowAtIndexPath(this, row);
    widget()->resize(viewport()->width(), m_rowTops.last() + m_bottomInset);
}

// The rows that meet the viewport have cells; the others give theirs back for reuse.
void KPTableView::layoutRows()
{
    const int top = contentOffset();
    const int bottom = top + viewport()->height();
    const int rows = int(m_rowTops.size()) - 1;
    const auto first = std::upper_bound(m_rowTops.cbegin(), m_rowTops.cend(), top);
    const int firstRow = std::max(int(first - m_rowTops.cbegin()) - 1, 0);

    QHash<int, KPSmartTableViewCell*> shown;
    for (auto it = m_visible.cbegin(); it != m_visible.cend(); ++it) {
        const int row = it.key();
        if (row < rows && m_rowTops[row + 1] > top && m_rowTops[row] < bottom)
            shown.insert(row, it.value());
        else
            enqueueReusableCell(it.value());
    }
    for (int row = firstRow; m_dataSource && row < rows && m_rowTops[row] < bottom; ++row) {
        KPSmartTableViewCell* cell = shown.value(row);
        if (!cell) {
            cell = m_dataSource->cellForRowAtIndexPath(this, row);
            if (!cell)
                continue;
            prepareCell(cell);
            shown.insert(row, cell);
        }
        cell->setGeometry(0, m_rowTops[row], widget()->width(),
                          m_rowTops[row + 1] - m_rowTops[row]);
        cell->show();
    }
    m_visible = shown;
}

void KPTableView::prepareCell(KPSmartTableViewCell* cell)
{
    if (cell->parentWidget() != widget())
        cell->setParent(widget());
    cell->installEventFilter(this);
    connect(cell, &KPSmartTableViewCell::deleteConfirmed, this, &KPTableView::commitDeletion,
            Qt::UniqueConnection);
    cell->setEditing(m_editing);
}

void KPTableView::commitDeletion()
{
    const int row = indexPathForCell(qobject_cast<KPSmartTableViewCell*>(sender()));
    if (row >= 0 && m_dataSource)
        m_dataSource->commitEditingStyle(this, row);
}

// A row is selected by a press and release on the cell itself; its own controls keep their
// touches.
bool KPTableView::eventFilter(QObject* watched, QEvent* event)
{
    auto* cell = qobject_cast<KPSmartTableViewCell*>(watched);
    if (!cell || (m_editing && !m_allowsSelectionDuringEditing))
        return QScrollArea::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        m_pressed = cell;
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && m_pressed == cell) {
        m_pressed = nullptr;
        const int row = indexPathForCell(cell);
        if (row >= 0 &&
            cell->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()) &&
            m_dataSource)
            m_dataSource->didSelectRowAtIndexPath(this, row);
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}
