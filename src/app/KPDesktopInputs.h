#pragma once

#include "keyboard/KPComputerKeyboard.h"
#include "midi/KPMidiInput.h"

#include <QObject>

class KPPianoKeysView;
class QWidget;

// The players a desktop has besides touches, wired to the on-screen keyboard: the computer
// keyboard (while `window` has the focus) and every MIDI input, whose notes press the keys they
// name. Both show their keys pressed and play through the keyboard's delegate, as touches do.
class KPDesktopInputs : public QObject
{
public:
    KPDesktopInputs(KPPianoKeysView& keys, QWidget* window, QObject* parent = nullptr);

    // Opens the MIDI ports and keeps looking for new ones.
    void start();

private:
    KPPianoKeysView& m_keys;
    KPComputerKeyboard m_computerKeys;
    KPMidiInput m_midi;
};
