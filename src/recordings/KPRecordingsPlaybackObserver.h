#pragma once

// Hears from the recordings manager when a playback ends and when a recording is added. Told of
// the end before the manager forgets which recording was playing.
class KPRecordingsPlaybackObserver
{
public:
    virtual ~KPRecordingsPlaybackObserver() = default;

    virtual void playbackComplete() = 0;
    virtual void recordingAdded() = 0;
};
