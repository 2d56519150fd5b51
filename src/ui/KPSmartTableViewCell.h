#pragma once

#include "ui/KPTableView.h"

#include <QWidget>

// Base of the table cells: a cell knows its reuse identifier, the name of its class, and hands
// out a reused or fresh cell of that class.
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

private:
    QString m_reuseIdentifier;
};
