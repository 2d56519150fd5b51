#pragma once

// What the piano view asks of the recordings: whether one is being made, starting and ending it,
// and stopping playback. The recordings manager answers it (and hears what is played from the
// note performer); without one, the record and playlist buttons stay off.
class KPRecordingsControl
{
public:
    virtual ~KPRecordingsControl() = default;

    virtual bool recording() const = 0;
    virtual void startRecording() = 0;
    virtual void stopRecording() = 0;
    virtual void stopPlayback() = 0;
};
