#include "app/KPSessionMemory.h"

#include "audio/KPSoundPlayer.h"
#include "keyboard/KPPianoKeysView.h"
#include "platform/KPUserDefaults.h"
#include "screen/KPMetronome.h"
#include "screen/KPPianoView.h"

#include <algorithm>

namespace {

const QString kInstrumentKey = QStringLiteral("lastInstrument");
const QString kTempoKey = QStringLiteral("lastTempo");
const QString kOctaveKey = QStringLiteral("lastOctave");
const QString kVolumeKey = QStringLiteral("volume");
const QString kDynamicsKey = QStringLiteral("touchDynamics");
const QString kLocalSoundKey = QStringLiteral("localSound");

} // namespace

void KPSessionMemory::save(KPUserDefaults& defaults, const KPPianoView& piano,
                           const KPSoundPlayer& player)
{
    if (player.activeSoundBank())
        defaults.setValue(kInstrumentKey, *player.activeSoundBank());
    defaults.setValue(kVolumeKey, player.volume());
    defaults.setValue(kLocalSoundKey, player.localSound());
    if (piano.metronome())
        defaults.setValue(kTempoKey, piano.metronome()->beatsPerMinute());
    if (piano.keysView())
        defaults.setValue(kOctaveKey, piano.keysView()->currentOctave());
    if (piano.settingsView() && piano.settingsView()->dynamicsSwitch())
        defaults.setValue(kDynamicsKey, piano.settingsView()->dynamicsSwitch()->isChecked());
}

void KPSessionMemory::restoreSound(const KPUserDefaults& defaults, KPSoundPlayer& player)
{
    const QString instrument = defaults.value(kInstrumentKey).toString();
    for (const QStringList& bank : player.soundBanks())
        if (!instrument.isEmpty() && bank.value(0) == instrument)
            player.useSoundBank(instrument);
    bool ok = false;
    const float volume = defaults.value(kVolumeKey).toFloat(&ok);
    if (ok)
        player.setVolume(volume);
    if (const QVariant local = defaults.value(kLocalSoundKey); local.isValid())
        player.setLocalSound(local.toBool());
}

// Through the same steps as the buttons, so that they show what they would after those presses.
void KPSessionMemory::restoreScreen(const KPUserDefaults& defaults, KPPianoView& piano)
{
    bool ok = false;
    const uint32_t tempo = std::clamp(defaults.value(kTempoKey).toUInt(&ok),
                                      KPMetronome::minimumTempo, KPMetronome::maximumTempo);
    if (ok && piano.metronome()) {
        // In steps of ten, then fine ones: a tempo between the tens comes back as it was.
        for (uint32_t now = piano.metronome()->beatsPerMinute(); now != tempo;
             now = piano.metronome()->beatsPerMinute()) {
            const int distance = int(tempo) - int(now);
            if (!piano.changeTempo(std::clamp(distance, -int(KPMetronome::tempoStep),
                                              int(KPMetronome::tempoStep))))
                break;
        }
    }

    const uint32_t octave = defaults.value(kOctaveKey).toUInt(&ok);
    if (KPPianoKeysView* keys = piano.keysView(); ok && keys) {
        while (keys->currentOctave() < octave && keys->canChangeOctave(KPOctaveDirection::Higher))
            keys->changeOctave(KPOctaveDirection::Higher);
        while (keys->currentOctave() > octave && keys->canChangeOctave(KPOctaveDirection::Lower))
            keys->changeOctave(KPOctaveDirection::Lower);
    }

    // The switch tells the keys, as a touch on it does.
    if (QCheckBox* dynamics =
            piano.settingsView() ? piano.settingsView()->dynamicsSwitch() : nullptr)
        dynamics->setChecked(defaults.value(kDynamicsKey).toBool());
}
