#pragma once

#include "keyboard/KPComputerKeyboard.h"
#include "midi/KPMidiInput.h"

#include <QObject>

class KPNotePerformer;
class KPPianoKeysView;
class QWidget;

// The players a desktop has besides touches, each a source of its own on the note performer:
// the computer keyboard (while `window` has the focus, its rows placed by the on-screen keyboard)
// and every MIDI input.
class KPDesktopInputs : public QObject
{
public:
    KPDesktopInputs(KPPianoKeysView& keys, KPNotePerformer& performer, QWidget* window,
                    QObject* parent = nullptr);

    // Opens the MIDI ports and keeps looking for new ones.
    void start();
    // Where JACK MIDI is read: on the JACK output's client while the sound goes there (null: not).
    void setJackOutput(std::shared_ptr<KPJackDevice> output)
    {
        m_midi.setJackOutput(std::move(output));
    }
    KPMidiInput& midiInput() { return m_midi; }

private:
    KPComputerKeyboard m_computerKeys;
    KPMidiInput m_midi;
};
