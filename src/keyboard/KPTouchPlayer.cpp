#include "keyboard/KPTouchPlayer.h"

#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPlayableKeyboard.h"
#include "performer/KPNotePerformer.h"

void KPTouchPlayer::playKey(uint32_t key)
{
    playKey(key, KPPlayableKeyboard::kFullVelocity);
}

void KPTouchPlayer::playKey(uint32_t key, uint8_t velocity)
{
    if (key < KPKeyboardLayout::keyCount)
        m_performer.noteOn(KPNoteSource::Touch, KPKeyboardLayout::midiIndexForKey(key), velocity);
}

void KPTouchPlayer::stopKey(uint32_t key)
{
    if (key < KPKeyboardLayout::keyCount)
        m_performer.noteOff(KPNoteSource::Touch, KPKeyboardLayout::midiIndexForKey(key));
}

void KPTouchPlayer::stopAll()
{
    for (uint32_t key = 0; key < KPKeyboardLayout::keyCount; ++key)
        stopKey(key);
}
