#pragma once

#include "screen/KPRecordingsControl.h"

class KPRecordingsManager;

// The piano screen's recordings, answered by the recordings manager.
class KPRecordingsManagerControl : public KPRecordingsControl
{
public:
    explicit KPRecordingsManagerControl(KPRecordingsManager& manager) : m_manager(manager) {}

    bool recording() const override;
    void startRecording() override;
    void stopRecording() override;
    void stopPlayback() override;

private:
    KPRecordingsManager& m_manager;
};
