#pragma once

#include "ui/KPTableView.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;

// Base of the table cells: a cell knows its reuse identifier, the name of its class, and hands
// out a reused or fresh cell of that class. It shows an optional text label at its left, and an
// accessory view at its right end: the editing accessory while the table edits, the plain one
// otherwise. In editing mode a delete control sits at its left; touching it offers a delete
// button at the right end, and touching that one confirms.
class KPSmartTableViewCell : public QWidget
{
    Q_OBJECT

public:
    explicit KPSmartTableViewCell(const QString& cellIdentifier, QWidget* parent = nullptr);

    QString reuseIdentifier() const { return m_reuseIdentifier; }

    template <typename Cell> static QString cellIdentifier()
    {
        return QString::fromLatin1(Cell::staticMetaObject.className());
    }

    // A free cell of the class from the table, else a new one with a white background.
    template <typename Cell> static Cell* cellForTableView(KPTableView* tableView)
    {
        const QString identifier = cellIdentifier<Cell>();
        if (auto* reused = qobject_cast<Cell*>(tableView->dequeueReusableCell(identifier)))
            return reused;
        auto* cell = new Cell(identifier, tableView->widget());
        cell->setBackgroundColor(Qt::white);
        return cell;
    }

    void setBackgroundColor(const QColor& color);

    // Made on first use.
    QLabel* textLabel();
    // The cell takes the views; null removes them.
    void setAccessoryView(QWidget* view);
    QWidget* accessoryView() const { return m_accessoryView; }
    void setEditingAccessoryView(QWidget* view);
    QWidget* editingAccessoryView() const { return m_editingAccessoryView; }

    bool isEditing() const { return m_editing; }
    void setEditing(bool editing);
    // The delete button is offered (after a touch on the delete control).
    bool showsDeleteConfirmation() const;

signals:
    void deleteConfirmed();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void replaceView(QPointer<QWidget>& slot, QWidget* view);
    void layoutAccessories();
    void showDeleteConfirmation(bool show);

    QString m_reuseIdentifier;
    QLabel* m_textLabel = nullptr;
    QPointer<QWidget> m_accessoryView;
    QPointer<QWidget> m_editingAccessoryView;
    QToolButton* m_deleteControl = nullptr;
    QToolButton* m_deleteConfirmation = nullptr;
    bool m_editing = false;
};
