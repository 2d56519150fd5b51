#pragma once

#include "ui/KPSmartTableViewCell.h"

#include <QLineEdit>

class QLabel;

// One row of the playlist, loaded from its interface file: the recording's name in an editable
// field, and at the row's end the play image (not playing) or the pause image (playing).
class KPPlaylistViewCell : public KPSmartTableViewCell
{
    Q_OBJECT
    Q_PROPERTY(QLineEdit* title MEMBER m_title)

public:
    explicit KPPlaylistViewCell(QWidget* parent = nullptr);

    Q_INVOKABLE void awakeFromNib();
    // true: the play image, false: the pause image.
    void showPlay(bool play);

    QLineEdit* title() const { return m_title; }
    void setTitle(QLineEdit* title) { m_title = title; }
    QLabel* playButtonView() const { return m_playButtonView; }
    QLabel* pauseButtonView() const { return m_pauseButtonView; }

private:
    QLabel* m_playButtonView = nullptr;
    QLabel* m_pauseButtonView = nullptr;
    QLineEdit* m_title = nullptr;
};
