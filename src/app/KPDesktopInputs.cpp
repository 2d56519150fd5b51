#include "app/KPDesktopInputs.h"

#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPianoKeysView.h"

KPDesktopInputs::KPDesktopInputs(KPPianoKeysView& keys, QWidget* window, QObject* parent)
    : QObject(parent), m_keys(keys), m_computerKeys(keys, window)
{
    // The decoder passes notes 24 to 107 only, each of which names a key.
    connect(&m_midi, &KPMidiInput::keyPressed, this, [this](uint32_t note, uint8_t velocity) {
        if (const auto key = KPKeyboardLayout::keyForMidiNote(note))
            m_keys.pressKey(*key, velocity);
    });
    connect(&m_midi, &KPMidiInput::keyReleased, this, [this](uint32_t note) {
        if (const auto key = KPKeyboardLayout::keyForMidiNote(note))
            m_keys.releaseKey(*key);
    });
}

void KPDesktopInputs::start()
{
    m_midi.start();
}
