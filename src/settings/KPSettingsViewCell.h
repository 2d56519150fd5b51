#pragma once

#include "ui/KPSmartTableViewCell.h"

// A row of the instrument list: the instrument's name in bold, and the mark at its end when it
// is the active instrument. Touching it does not highlight it.
class KPSettingsViewCell : public KPSmartTableViewCell
{
    Q_OBJECT

public:
    explicit KPSettingsViewCell(const QString& cellIdentifier, QWidget* parent = nullptr);

    void showSelected(bool selected);
};
