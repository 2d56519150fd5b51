#pragma once

#include "audio/KPAudioDevice.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPSampler.h"
#include "audio/KPSoundPlayer.h"
#include "platform/KPManualClock.h"

#include <QString>
#include <QTemporaryDir>

#include <sndfile.h>

#include <functional>
#include <memory>
#include <vector>

namespace KPAudioTest {

struct Tone
{
    double frequency = 440.0;
    double seconds = 1.0;
    double amplitude = 0.5;
    // Amplitude of the second harmonic, relative to the fundamental.
    double secondHarmonic = 0.0;
    int sampleRate = 44100;
    // Gain of the tone in each channel; its size is the channel count.
    std::vector<double> channelGains{1.0};
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
};

// Writes the tone with libsndfile; false when that fails.
bool writeTone(const QString& path, const Tone& tone);
// The tone's value in a channel at a frame, as written before quantisation.
double toneValue(const Tone& tone, int channel, long frame);

// Root-mean-square level of one channel of interleaved stereo, from frame `from` on.
double level(const std::vector<float>& stereo, int channel, size_t from = 0,
             size_t frames = size_t(-1));
// The frequency of the periodic sound near `expected` (within about half a semitone), measured
// on the left and right channels mixed, from frame `from` on; 0 when nothing periodic is there.
double estimatePitch(const std::vector<float>& stereo, int sampleRate, double expected,
                     size_t from = 0, size_t frames = size_t(-1));
// The frequency of the strongest spectral peak within 60 cents of `expected` (for a note, its
// fundamental partial); 0 when the strongest lies at the edge of that range.
double fundamentalPartial(const std::vector<float>& stereo, int sampleRate, double expected,
                          size_t from = 0, size_t frames = size_t(-1));
// How many cents `measured` lies above `expected`.
double cents(double measured, double expected);
// The amplitude of one frequency in the left and right channels mixed.
double amplitudeAt(const std::vector<float>& stereo, int sampleRate, double frequency,
                   size_t from = 0);

// Renders `seconds` of the device's mix.
std::vector<float> render(KPLoopbackDevice* device, double seconds);

// The sound under test on loopback devices that the test renders itself, to hear what a listener
// would: a sampler or a sound player on the rig's devices, and system sounds or the shared players
// given its opener. As in the program, everyone the opener serves shares one device while any
// of them holds it.
class AudioRig
{
public:
    AudioRig();
    // With a sampler, and the bank loaded when one is named.
    static AudioRig withSampler(const QString& bank = QString());
    // With a sound player, which loads "Grand Piano".
    static AudioRig withPlayer();

    KPAudioDeviceOpener opener() const;
    // The device open now; null when none is.
    KPLoopbackDevice* device() const;
    int devicesOpened() const;

    // The player's sampler when the rig has a player.
    KPSampler& sampler() const;
    KPSoundPlayer& player() const { return *m_player; }

    std::vector<float> render(double seconds) const;
    // Renders the mix as the clock goes, running the events meanwhile, for `seconds`, calling
    // `probe` with the time passed at every step. Time on a loopback device moves only when it is
    // rendered, so waiting for timers this way renders the stretch of sound that passes.
    std::vector<float> pump(double seconds,
                            const std::function<void(double)>& probe = nullptr) const;
    // The OpenAL state of a voice's source.
    int state(int voice) const;
    // The voices that carry the note and are playing.
    int playingVoices(int note) const;

private:
    struct Devices
    {
        std::weak_ptr<KPLoopbackDevice> open;
        int opened = 0;
    };

    std::shared_ptr<Devices> m_devices;
    std::unique_ptr<KPSampler> m_sampler;
    std::unique_ptr<KPSoundPlayer> m_player;
};

// A clock moved by hand whose alarms ring `lateness` after their time, as a busy run loop's do.
class LateClock : public KPClock
{
public:
    explicit LateClock(Duration lateness) : m_lateness(lateness) {}
    TimePoint now() const override { return m_clock.now(); }
    QObject* wakeAt(QObject* owner, TimePoint when, Precision precision,
                    std::function<void()> ring) override;
    void advanceTo(TimePoint end) { m_clock.advanceTo(end); }

private:
    KPManualClock m_clock;
    Duration m_lateness;
};

// A sound player on a rig's loopback device whose frames are tied to a clock of the player's
// own, rendered as an offline render does: the clock moved to the end of each block of 64 frames,
// then the block rendered, so that every timed event and fade step lands on its own frame. With a
// `lateness`, the player's alarms ring that late and the clock runs that far ahead of the render,
// as on an output that mixes on its own with events placed that far ahead.
class ClockedPlayer
{
public:
    explicit ClockedPlayer(KPClock::Duration lateness = {});

    KPSoundPlayer& player() { return m_player; }
    // The time `seconds` after the first frame.
    KPClock::TimePoint at(double seconds) const;
    // The next `seconds` of sound.
    std::vector<float> render(double seconds);

private:
    AudioRig m_rig;
    LateClock m_clock;
    KPSoundPlayer m_player{m_rig.opener(), &m_clock};
    KPClock::TimePoint m_start;
    KPClock::Duration m_lateness;
    int64_t m_rendered = 0;
};

// Collects what is printed on standard output (C stdio) while it lives.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    QString text();

private:
    int m_saved = -1;
    int m_file = -1;
    QString m_text;
    bool m_done = false;
};

// A resource folder of fixture banks (the property lists in the test data folder) and the tones
// they name, made the main bundle for the life of the object.
class FixtureResources
{
public:
    FixtureResources();
    ~FixtureResources();
    bool isValid() const { return m_valid; }
    QString path(const QString& fileName) const { return m_dir.filePath(fileName); }

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

} // namespace KPAudioTest
