#pragma once

class KPSmartTableViewCell;
class KPTableView;

// What a table asks of its owner: its rows (one section), their cells and heights, and what a
// touch on a row or a confirmed delete control does.
class KPTableViewDataSource
{
public:
    virtual ~KPTableViewDataSource() = default;

    virtual int numberOfRowsInSection(KPTableView* tableView, int section) = 0;
    // A configured cell for the row; the table places it and keeps it while the row shows.
    virtual KPSmartTableViewCell* cellForRowAtIndexPath(KPTableView* tableView, int row) = 0;
    virtual int heightForRowAtIndexPath(KPTableView* tableView, int row) = 0;
    virtual void didSelectRowAtIndexPath(KPTableView*, int) {}
    virtual void commitEditingStyle(KPTableView*, int) {}
};
