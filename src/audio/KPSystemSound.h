#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPAudioHandles.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPNoteSchedule.h"

#include "platform/KPClock.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <list>
#include <memory>

// Short sounds (the metronome's click) played apart from the instrument: through a context of
// their own on the instrument's device, opened at the first sound and used only as the calling
// thread's context, so the instrument's context stays current and its voices and bank switches
// never touch a sound. Every play is its own sound, decoded from the file, played once and
// disposed of when it has finished; overlapping sounds play independently. A loop starts and
// stops on the output's frames, in its render. Main thread only, but for the render.
class KPSystemSound : public QObject, public KPRenderClient
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
    // The file, then silence to `interval` seconds, repeated without a gap from `at` (the next
    // frame rendered when none is given, or when the output is not tied to the program's clock)
    // until stopLoop or the next startLoop: one looping buffer, so the sounds fall exactly
    // `interval` apart, to the sample, however late the program runs. A sound longer than the
    // interval is cut. The loop before stops where the new one starts. False when it can't sound
    // (as for play).
    bool startLoop(const QString& path, double interval,
                   std::optional<KPClock::TimePoint> at = std::nullopt);
    // The loop goes on at a new interval, counted in the output's frames: its next sound comes
    // one new interval after its last one (or its start, before the first), at once if that has
    // passed; the old interval's sounds end before their next. Without a loop, one starts now.
    bool changeLoopInterval(double interval);
    void stopLoop();
    bool isLooping() const { return m_loop != nullptr; }

    // Lets go of the device: the sounds stop, and the next opens the device the opener gives
    // then. A loop goes on there.
    void changeDevice();

    // Opens the output now rather than at the first sound, so that sound starts on time.
    void prepare() { openOutput(); }

    // Sounds playing or finished but not yet disposed of.
    int liveSoundCount() const { return int(m_sounds.size()); }

    // The render's side (KPRenderClient): the loops' starts and stops at their frames.
    void accept(const KPNoteEvent&) override {}
    int64_t renderAt(int64_t frame, int64_t end) override;

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

    // A loop between its start and the frame after which the render no longer touches it.
    struct Loop
    {
        std::unique_ptr<Sound> sound;
        int64_t startFrame = 0;
        int64_t stopFrame = -1;
    };

    bool openOutput();
    void closeOutput();
    void disposeFinishedSounds();
    // The frame at which `at` is rendered; the next frame rendered when it can't be told.
    int64_t frameFor(std::optional<KPClock::TimePoint> at) const;
    // The current loop stops at `frame`, and goes once the render is past it.
    void retireLoop(int64_t frame);
    // Loops the file from `start`, the loop before stopping at `stopBefore` (or `start`).
    bool loopFrom(const QString& path, double interval, int64_t start, int64_t stopBefore);

    KPAudioDeviceOpener m_openDevice;
    std::shared_ptr<KPAudioDevice> m_device;
    KPALContextPtr m_context;
    bool m_outputFailed = false;
    // A list: sounds never move, so each is deleted as a whole.
    std::list<Sound> m_sounds;
    KPLoopbackDevice* m_mixer = nullptr;
    KPNoteSchedule m_loopEvents;
    std::unique_ptr<Sound> m_loop;
    int64_t m_loopStartFrame = 0;
    // Seconds from one of the loop's sounds to the next: a whole number of the file's frames.
    double m_loopPeriod = 0;
    std::list<Loop> m_retired;
    QString m_loopPath;
    double m_loopInterval = 0;
    QTimer m_completionCheck;
};
