#pragma once

#include "app/KPMidiOutFeed.h"
#include "midi/KPMidiOutput.h"

#include <QObject>

#include <memory>

class KPJackDevice;
class KPMidiConnectionsView;
class KPMidiInput;
class KPNotePerformer;
class KPSettingsView;
class KPUserDefaults;
class QWidget;

// The MIDI a desktop player sees and sends: the output port, fed with what is played; the MIDI
// connections view, opened from the instrument panel's button; and whether a playback goes out
// too, remembered for the next start.
class KPMidiControls : public QObject
{
public:
    // None is owned; all outlive the controls. The view opens over `window`, as its child, and
    // goes with the controls.
    KPMidiControls(KPNotePerformer& performer, KPMidiInput& input, KPUserDefaults& defaults,
                   QWidget* window, QObject* parent = nullptr);
    ~KPMidiControls() override;

    // Opens the output's ALSA port.
    void start();
    // The JACK output the sound goes to now, or null: the JACK port moves with it.
    void setJackOutput(std::shared_ptr<KPJackDevice> output);
    // The panel's MIDI button opens the view.
    void attach(KPSettingsView& panel);
    // Opens the view, or brings it forward.
    void showConnections();

    KPMidiOutput& output() { return m_output; }
    KPMidiConnectionsView* connectionsView() const { return m_view.get(); }

private:
    KPMidiInput& m_input;
    KPUserDefaults& m_defaults;
    QWidget* m_window;
    KPMidiOutput m_output;
    KPMidiOutFeed m_feed;
    std::unique_ptr<KPMidiConnectionsView> m_view;
};
