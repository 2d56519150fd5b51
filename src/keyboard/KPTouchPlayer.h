#pragma once

#include "keyboard/KPPianoKeysViewDelegate.h"

class KPNotePerformer;

// The keys view's delegate: where a touched key index becomes a note, played through the
// performer as the touch's own. Keys past the keyboard play nothing. Lifting every finger
// releases every key, as designed, yet only the notes no other player holds fall silent.
class KPTouchPlayer : public KPPianoKeysViewDelegate
{
public:
    explicit KPTouchPlayer(KPNotePerformer& performer) : m_performer(performer) {}

    void playKey(uint32_t key) override;
    void playKey(uint32_t key, uint8_t velocity) override;
    void stopKey(uint32_t key) override;
    void stopAll() override;

private:
    KPNotePerformer& m_performer;
};
