#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>

class KPMidiInput;

// The MIDI connections: every input the piano can play from (ALSA and JACK), each with a mark
// when it is connected; checking or unchecking one connects or cuts it off. It follows the
// input's listing, so a keyboard plugged in or out shows within the input's next look (2 s).
// Below, where what is played goes out, and whether a playback goes out too.
class KPMidiConnectionsView : public QDialog
{
    Q_OBJECT

public:
    // `input` is not owned and outlives the view.
    explicit KPMidiConnectionsView(KPMidiInput& input, QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    QCheckBox* playbackSwitch() const { return m_playbackSwitch; }

signals:
    void sendsPlaybackChanged(bool sends);

private:
    void fill();
    void itemChanged(QListWidgetItem* item);

    KPMidiInput& m_input;
    QListWidget* m_list = nullptr;
    QLabel* m_empty = nullptr;
    QCheckBox* m_playbackSwitch = nullptr;
};
