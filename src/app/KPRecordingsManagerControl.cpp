#include "app/KPRecordingsManagerControl.h"

#include "recordings/KPRecordingsManager.h"

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

void KPRecordingsManagerControl::stopPlayback()
{
    m_manager.stopPlayback();
}
