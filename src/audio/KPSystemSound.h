#pragma once

#include "audio/KPAudioHandles.h"
#include "audio/KPAudioOutput.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <list>
#include <memory>

// Short sounds (the metronome's click) played apart from the instrument: on a device and context
// of their own, opened at the first sound, and used only as the calling thread's context so the
// instrument's context stays current. Every play is its own sound, decoded from the file, played
// once and disposed of when it has finished; overlapping sounds play independently. Main thread
// only.
class KPSystemSound : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSampleRate = 44100;

    static KPSystemSound& shared();

    // Without an output the program's default one is used.
    explicit KPSystemSound(std::unique_ptr<KPAudioOutput> output = nullptr,
                           QObject* parent = nullptr);
    ~KPSystemSound() override;

    // A file that is missing or can't be decoded gives silence.
    void play(const QString& path);
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
    void disposeFinishedSounds();

    std::unique_ptr<KPAudioOutput> m_output;
    std::unique_ptr<KPAudioDevice> m_device;
    KPALContextPtr m_context;
    bool m_outputFailed = false;
    // A list: sounds never move, so each is deleted as a whole.
    std::list<Sound> m_sounds;
    QTimer m_completionCheck;
};
