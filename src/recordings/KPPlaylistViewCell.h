#pragma once

#include "recordings/KPPianoRecording.h"
#include "ui/KPSmartTableViewCell.h"

#include <QLineEdit>

class KPNotesPicture;
class QLabel;

// One row of the playlist, loaded from its interface file: the recording's name in an editable
// field, under it the recording's date, instrument and length, beside them a picture of its
// notes, and at the row's end the play image (not playing) or the pause image (playing).
class KPPlaylistViewCell : public KPSmartTableViewCell
{
    Q_OBJECT
    Q_PROPERTY(QLineEdit* title MEMBER m_title)

public:
    explicit KPPlaylistViewCell(QWidget* parent = nullptr);

    Q_INVOKABLE void awakeFromNib();
    // true: the play image, false: the pause image.
    void showPlay(bool play);
    // The date, instrument, length and notes of the recording the row shows.
    void showRecording(const KPPianoRecording& recording);

    QLineEdit* title() const { return m_title; }
    void setTitle(QLineEdit* title) { m_title = title; }
    QLabel* playButtonView() const { return m_playButtonView; }
    QLabel* pauseButtonView() const { return m_pauseButtonView; }
    QLabel* details() const { return m_details; }

private:
    void addSummary();

    QLabel* m_playButtonView = nullptr;
    QLabel* m_pauseButtonView = nullptr;
    QLineEdit* m_title = nullptr;
    QLabel* m_details = nullptr;
    KPNotesPicture* m_notes = nullptr;
};
