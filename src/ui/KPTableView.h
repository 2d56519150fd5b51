#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScrollArea>

class KPSmartTableViewCell;
class KPTableViewDataSource;

// A scrolling list of rows in one section. Only the rows on screen have cells: a cell whose row
// scrolls away is kept for reuse by its identifier and handed out again by
// dequeueReusableCell. In editing mode every row shows a delete control, and confirming it asks
// the data source to commit the deletion. A touch on a row (outside its own controls) selects it.
// Touch screens scroll it kinetically.
class KPTableView : public QScrollArea
{
    Q_OBJECT

public:
    explicit KPTableView(QWidget* parent = nullptr);

    // Not owned.
    void setDataSource(KPTableViewDataSource* dataSource);

    // A free cell with the identifier, or null when none is free.
    KPSmartTableViewCell* dequeueReusableCell(const QString& identifier);
    // Hands a cell back: it is hidden until dequeued again.
    void enqueueReusableCell(KPSmartTableViewCell* cell);

    // Asks the data source for everything again. Until the first call it is not asked at all.
    void reloadData();
    // Takes the row away, its cell sliding out to the right; the data source has already
    // dropped it.
    void deleteRow(int row);

    // The cell showing the row, null when the row is not on screen.
    KPSmartTableViewCell* cellForRowAtIndexPath(int row) const;
    // The row a cell on screen shows, -1 for any other cell.
    int indexPathForCell(const KPSmartTableViewCell* cell) const;

    bool isEditing() const { return m_editing; }
    void setEditing(bool editing);
    void setAllowsSelectionDuringEditing(bool allows) { m_allowsSelectionDuringEditing = allows; }

    int contentOffset() const;
    void setContentOffset(int y);
    // Room below the last row, so that it can be scrolled above something covering the table.
    void setBottomInset(int inset);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateContentSize();
    void layoutRows();
    void prepareCell(KPSmartTableViewCell* cell);
    void commitDeletion();

    KPTableViewDataSource* m_dataSource = nullptr;
    bool m_loaded = false;
    QHash<QString, QList<QPointer<KPSmartTableViewCell>>> m_reusable;
    QHash<int, KPSmartTableViewCell*> m_visible;
    // Top edge of every row, and the bottom of the last one at the end.
    QList<int> m_rowTops{0};
    int m_bottomInset = 0;
    bool m_editing = false;
    bool m_allowsSelectionDuringEditing = false;
    QPointer<KPSmartTableViewCell> m_pressed;
};
