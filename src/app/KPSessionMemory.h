#pragma once

class KPPianoView;
class KPSoundPlayer;
class KPUserDefaults;

// What the user chose comes back at the next start: the instrument, the volume, whether the
// instrument sounds here (local sound), the tempo, the octave the keyboard shows and touch
// dynamics. (The window's place is kept with the window.) A stored value that no longer fits (an
// instrument that is gone, a tempo or octave out of range) goes to the nearest one that does, or
// is left alone.
class KPSessionMemory
{
public:
    static void save(KPUserDefaults& defaults, const KPPianoView& piano,
                     const KPSoundPlayer& player);
    // The tempo, the octave and touch dynamics.
    static void restoreScreen(const KPUserDefaults& defaults, KPPianoView& piano);
    // The instrument, the volume and the local sound.
    static void restoreSound(const KPUserDefaults& defaults, KPSoundPlayer& player);
};
