#include "app/KPRecordingsManagerControl.h"

#include "recordings/KPRecordingsManager.h"

KPRecordingsManagerControl& KPRecordingsManagerControl::shared()
{
    static KPRecordingsManagerControl control(KPRecordingsManager::sharedManager());
    return control;
}

bool KPRecordingsManagerControl::recording() const
{
    return m_manager.recording();
}

void KPRecordingsManagerControl::startRecording()
{
    m_manager.startRecording();
}

void KPRecordingsManagerControl::stopRecording()
{
    m_manager.stopRecording();
}

void KPRecordingsManagerControl::addRecordingAction(uint32_t keyIndex, KPRecordedKeyState state,
                                                    uint8_t velocity)
{
    m_manager.addRecordingAction({int32_t(keyIndex), state, 0.0f, velocity});
}

void KPRecordingsManagerControl::stopPlayback()
{
    m_manager.stopPlayback();
}

void KPRecordingsManagerControl::setKeysDelegate(KPPianoKeysViewDelegate* delegate)
{
    m_manager.setKeysDelegate(delegate);
}
