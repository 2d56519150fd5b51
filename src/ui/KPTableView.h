#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScrollArea>

class KPSmartTableViewCell;

// A scrolling list of cells that keeps cells which left the screen for reuse, by identifier.
class KPTableView : public QScrollArea
{
    Q_OBJECT

public:
    explicit KPTableView(QWidget* parent = nullptr);

    // A free cell with the identifier, or null when none is free.
    KPSmartTableViewCell* dequeueReusableCell(const QString& identifier);
    // Hands a cell back: it is hidden until dequeued again.
    void enqueueReusableCell(KPSmartTableViewCell* cell);

private:
    QHash<QString, QList<QPointer<KPSmartTableViewCell>>> m_reusable;
};
