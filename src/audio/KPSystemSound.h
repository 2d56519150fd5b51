#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPAudioHandles.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <list>
#include <memory>

// Short sounds (the metronome's click) played apart from the instrument: through a context of
// their own on the instrument's device, opened at the first sound and used only as the calling
// thread's context, so the instrument's context stays current and its voices and bank switches
// never touch a sound. Every play is its own sound, decoded from the file, played once and
// disposed of when it has finished; overlapping sounds play independently. Main thread only.
class KPSystemSound : public QObject
{
    Q_OBJECT

public:
    static KPSystemSound& shared();

    explicit KPSystemSound(KPAudioDeviceOpener openDevice = KPAudioDevice::openDefault,
                           QObject* parent = nullptr);
    ~KPSystemSound() override;

    // A file that is missing or can't be decoded, or a sound that can't be played (the device
    // paused or out of sources), gives silence and says nothing.
    void play(const QString& path);
    // The file, then silence to `interval` seconds, repeated without a gap from now until
    // stopLoop or the next startLoop: one looping buffer, so the sounds fall exactly `interval`
    // apart, to the sample, however late the program runs. A sound longer than the interval is
    // cut. False when it can't sound (as for play).
    bool startLoop(const QString& path, double interval);
    void stopLoop();
    bool isLooping() const { return m_loop != nullptr; }

    // Lets go of the device: the sounds stop, and the next opens the device the opener gives
    // then. A loop goes on there.
    void changeDevice();

    // Opens the output now rather than at the first sound, so that sound starts on time.
    void prepare() { openOutput(); }

    // Sounds playing or finished but not yet disposed of.
    int liveSoundCount() const { return int(m_sounds.size()); }

signals:
    void soundFinished();

private:
    struct Sound
    {
        // The source lets go of the buffer before the buffer can go.
        ~Sound() { source.reset(); }

        KPALBuffer buffer;
        KPALSource source;
    };

    bool openOutput();
    void closeOutput();
    void disposeFinishedSounds();

    KPAudioDeviceOpener m_openDevice;
    std::shared_ptr<KPAudioDevice> m_device;
    KPALContextPtr m_context;
    bool m_outputFailed = false;
    // A list: sounds never move, so each is deleted as a whole.
    std::list<Sound> m_sounds;
    std::unique_ptr<Sound> m_loop;
    QString m_loopPath;
    double m_loopInterval = 0;
    QTimer m_completionCheck;
};
