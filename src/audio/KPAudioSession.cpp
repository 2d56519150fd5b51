#include "audio/KPAudioSession.h"

KPAudioSession& KPAudioSession::sharedSession()
{
    static KPAudioSession session;
    return session;
}

void KPAudioSession::initialize(InterruptionListener listener, void* clientData)
{
    m_listener = listener;
    m_clientData = clientData;
}

void KPAudioSession::removeInterruptionListener(void* clientData)
{
    if (m_clientData != clientData)
        return;
    m_listener = nullptr;
    m_clientData = nullptr;
}

bool KPAudioSession::setProperty(uint32_t property, uint32_t value)
{
    if (property != kAudioSessionProperty_AudioCategory)
        return false;
    m_category = value;
    return true;
}

void KPAudioSession::beginInterruption()
{
    if (m_interrupted)
        return;
    m_interrupted = true;
    notify(kAudioSessionBeginInterruption);
}

void KPAudioSession::endInterruption()
{
    if (!m_interrupted)
        return;
    m_interrupted = false;
    notify(kAudioSessionEndInterruption);
}

void KPAudioSession::notify(uint32_t interruptionState)
{
    if (m_listener)
        m_listener(m_clientData, interruptionState);
}
