#pragma once

#include "ui/KPTableView.h"
#include "ui/KPTableViewDataSource.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

#include <optional>

// The instrument panel: a caption and the list of the sound player's instruments, with a
// mark on the active one. Touching a row makes its instrument active at once and moves the mark. It
// slides in and out under the piano view's control and is told when it is shown. It does not hear
// of instruments chosen elsewhere: rows on screen keep their marks until configured again.
//
// Below the list, a switch for touch dynamics (off until the user turns it on): whether a key
// sounds softer or louder by where it is struck, and a slider that sets the volume of everything
// played; beside them "Local sound" (off, the instrument is silent while everything played still
// goes out on MIDI) and a button asking for the MIDI connections. The panel grows by its strip at
// the bottom, upwards, so that it stays parked wherever it was parked.
class KPSoundPlayer;

class KPSettingsView : public QWidget, public KPTableViewDataSource
{
    Q_OBJECT
    // Outlets, connected by name from the interface file.
    Q_PROPERTY(QLabel* tableViewLabel MEMBER m_tableViewLabel)
    Q_PROPERTY(QLabel* wideBackView MEMBER m_wideBackView)
    Q_PROPERTY(KPTableView* tableView MEMBER m_tableView)

public:
    explicit KPSettingsView(QWidget* parent = nullptr);

    Q_INVOKABLE void awakeFromNib();

    // Not owned; it outlives the panel. Until it comes the list is empty and the slider idle.
    void setSoundPlayer(KPSoundPlayer* player);
    bool isShowing() const { return m_showing; }
    void setShowing(bool showing);

    int numberOfRowsInSection(KPTableView* tableView, int section) override;
    KPSmartTableViewCell* cellForRowAtIndexPath(KPTableView* tableView, int row) override;
    int heightForRowAtIndexPath(KPTableView* tableView, int row) override;
    void didSelectRowAtIndexPath(KPTableView* tableView, int row) override;
    void selectCellForIndexPath(int row);

    KPTableView* tableView() const { return m_tableView; }
    QLabel* tableViewLabel() const { return m_tableViewLabel; }
    std::optional<int> lastIndexPath() const { return m_lastIndexPath; }
    QCheckBox* dynamicsSwitch() const { return m_dynamicsSwitch; }
    QSlider* volumeSlider() const { return m_volume; }
    QCheckBox* localSoundSwitch() const { return m_localSoundSwitch; }
    QPushButton* midiButton() const { return m_midiButton; }

signals:
    void dynamicsChanged(bool on);
    void midiConnectionsRequested();

private:
    void addVolumeSlider();
    void addDynamicsSwitch();
    QCheckBox* addSwitch(const QString& text, const QRect& place);
    void addSoundControls();
    QString soundBankAt(int row) const;

    QLabel* m_tableViewLabel = nullptr;
    QLabel* m_wideBackView = nullptr;
    bool m_showing = false;
    bool m_filled = false;
    KPTableView* m_tableView = nullptr;
    std::optional<int> m_lastIndexPath;
    QCheckBox* m_dynamicsSwitch = nullptr;
    QSlider* m_volume = nullptr;
    QCheckBox* m_localSoundSwitch = nullptr;
    QPushButton* m_midiButton = nullptr;
    KPSoundPlayer* m_player = nullptr;
};
