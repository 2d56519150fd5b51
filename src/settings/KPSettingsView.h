#pragma once

#include <QWidget>

// The instrument panel. It slides in and out under the piano view's control and is told when
// it is shown.
class KPSettingsView : public QWidget
{
    Q_OBJECT

public:
    explicit KPSettingsView(QWidget* parent = nullptr);

    bool isShowing() const { return m_showing; }
    void setShowing(bool showing);

private:
    bool m_showing = false;
};
