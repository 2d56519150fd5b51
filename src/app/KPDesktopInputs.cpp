#include "app/KPDesktopInputs.h"

#include "keyboard/KPPianoKeysView.h"
#include "performer/KPNotePerformer.h"

KPDesktopInputs::KPDesktopInputs(KPPianoKeysView& keys, KPNotePerformer& performer, QWidget* window,
                                 QObject* parent)
    : QObject(parent), m_computerKeys(keys, performer, window)
{
    connect(&m_midi, &KPMidiInput::keyPressed, this,
            [&performer](uint32_t note, uint8_t velocity, bool sounded) {
                performer.noteOn(KPNoteSource::Midi, note, velocity,
                                 sounded ? KPNotePerformer::Sounded::Already
                                         : KPNotePerformer::Sounded::Now);
            });
    connect(&m_midi, &KPMidiInput::keyReleased, this, [&performer](uint32_t note, bool sounded) {
        performer.noteOff(KPNoteSource::Midi, note,
                          sounded ? KPNotePerformer::Sounded::Already
                                  : KPNotePerformer::Sounded::Now);
    });
}

void KPDesktopInputs::start()
{
    m_midi.start();
}
