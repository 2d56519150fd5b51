#include "KPAudioTestRig.h"

#include "audio/KPAudioSession.h"
#include "audio/KPOpenALConfiguration.h"
#include "audio/KPSoundPlayer.h"
#include "audio/KPSystemSound.h"
#include "platform/KPBundle.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace KPAudioTest;

namespace {

double loudness(const std::vector<float>& sound, int rate, double from, double to)
{
    const auto first = size_t(from * rate);
    return level(sound, 0, first, size_t((to - from) * rate)) +
           level(sound, 1, first, size_t((to - from) * rate));
}

// The largest change from one sample to the next in the left channel, from frame `from` on.
float largestStep(const std::vector<float>& sound, size_t from, size_t frames)
{
    float largest = 0.0f;
    for (size_t i = from + 1; i < std::min(sound.size() / 2, from + frames); ++i)
        largest = std::max(largest, std::abs(sound[2 * i] - sound[2 * i - 2]));
    return largest;
}

// The shipped banks for as long as it lives.
struct ShippedBanks
{
    explicit ShippedBanks(const FixtureResources& fixtures) : fixtures(fixtures)
    {
        KPBundle::setResourceRoot(QStringLiteral(KP_SHIPPED_RESOURCES));
    }
    ~ShippedBanks() { KPBundle::setResourceRoot(fixtures.path({})); }
    const FixtureResources& fixtures;
};

} // namespace

class KPSoundPlayerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstUseLoadsGrandPiano();
    void releaseFadesToSilence();
    void firstFadeStep_data();
    void firstFadeStep();
    void heldNoteNeverFades();
    void velocitySetsTheGain_data();
    void velocitySetsTheGain();
    void pressDuringFadeSoundsAgain();
    void fadeStepsGlideOnTheirFrames();
    void lateRunLoopMovesNoFadeStep();
    void releaseEndsWithoutATick_data() { shippedInstruments(); }
    void releaseEndsWithoutATick();
    void bankSwitchFadesHeldNotes_data() { shippedInstruments(); }
    void bankSwitchFadesHeldNotes();
    void releaseWithoutVoice_data();
    void releaseWithoutVoice();
    void notesOutsideTheTableAreIgnored();
    void activeBankChangesNothing();
    void bankSwitchSilencesAndPlaysNewInstrument();
    void saveAndRestore();
    void systemSoundOpensAtFirstSound();
    void systemSoundPlaysApartFromInstrument();
    void defaultDeviceIsShared();
    void clickWithoutSourceIsSilent();
    void clickDuringInterruptionIsDropped();
    void failedInstrumentIsTold();
    void overlappingSystemSoundsAreIndependent();
    void loopedSoundRepeatsExactly_data();
    void loopedSoundRepeatsExactly();
    void loopsStartAndHandOverOnTheirFrames();
    void undecodableSystemSoundIsSilent_data();
    void undecodableSystemSoundIsSilent();
    void shippedConfiguration_data();
    void shippedConfiguration();
    void soundMovesToAnotherDevice();

private:
    static void shippedInstruments();

    std::unique_ptr<FixtureResources> m_resources;
};

void KPSoundPlayerTest::initTestCase()
{
    m_resources = std::make_unique<FixtureResources>();
    QVERIFY(m_resources->isValid());
}

void KPSoundPlayerTest::firstUseLoadsGrandPiano()
{
    AudioRig rig = AudioRig::withPlayer();
    const QStringList names{"Grand Piano",    "Music Box", "Ahh Choir",
                            "Electric Piano", "Accordion", "Banjo"};
    QCOMPARE(rig.player().soundBanks().size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        QCOMPARE(rig.player().soundBanks()[i], QStringList{names[i]});
    QCOMPARE(rig.player().activeSoundBank(), std::optional<QString>(names[0]));
    QCOMPARE(rig.sampler().soundBankName(), names[0]);
    QCOMPARE(rig.devicesOpened(), 1);
    QVERIFY(!rig.player().previousSoundBank());
    for (uint32_t note = 0; note < 128; ++note)
        QVERIFY(!rig.player().isFading(note));

    KPSoundPlayer& shared = KPSoundPlayer::sharedPlayer();
    QCOMPARE(&KPSoundPlayer::sharedPlayer(), &shared);
    QCOMPARE(shared.activeSoundBank(), std::optional<QString>(names[0]));
}

// Held 0.2 s, then released: the gain steps down 0.2 at a time every 0.1 s, each value reached
// on its step, and the voice is silent and stopped 0.4 s after the release.
void KPSoundPlayerTest::releaseFadesToSilence()
{
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(69);
    const auto held = rig.pump(0.2);
    const double full = loudness(held, 44100, 0.05, 0.2);
    QVERIFY(full > 0.3);

    rig.player().stop(69);
    QVERIFY(rig.player().isFading(69));
    // The release heads for the first step's value at once.
    QList<float> gains{1.0f};
    double stoppedAt = -1;
    const auto fading = rig.pump(0.7, [&](double now) {
        const float gain = rig.sampler().currentNoteGain(69);
        if (gains.isEmpty() || gains.last() != gain)
            gains << gain;
        if (stoppedAt < 0 && rig.playingVoices(69) == 0)
            stoppedAt = now;
    });

    QCOMPARE(gains.size(), 6);
    const float steps[] = {1.0f, 0.8f, 0.6f, 0.4f, 0.2f, 0.0f};
    for (qsizetype i = 0; i < gains.size(); ++i)
        QVERIFY2(std::abs(gains[i] - steps[i]) < 1e-6f, qPrintable(QString::number(gains[i])));
    QVERIFY2(stoppedAt > 0.38 && stoppedAt < 0.42, qPrintable(QString::number(stoppedAt)));
    // The second step's value is reached on its step, 0.1 s after the release.
    QVERIFY(std::abs(loudness(fading, 44100, 0.09, 0.11) / full - 0.6) < 0.05);
    QVERIFY(loudness(fading, 44100, 0.4, 0.7) < 1e-5);
    QVERIFY(!rig.player().isFading(69));
}

void KPSoundPlayerTest::firstFadeStep_data()
{
    QTest::addColumn<double>("hold");
    QTest::addColumn<double>("reached");
    QTest::newRow("held longer than a step: at once") << 0.25 << 0.255;
    QTest::newRow("released sooner: on the step after the press") << 0.03 << 0.1;
}

// Heard against the note held, the first step's value (0.8) is reached when it is due.
void KPSoundPlayerTest::firstFadeStep()
{
    QFETCH(double, hold);
    QFETCH(double, reached);
    const auto play = [hold](bool release) {
        ClockedPlayer rig;
        rig.player().play(69, 127, rig.at(0.0));
        if (release)
            rig.player().stop(69, rig.at(hold));
        return rig.render(0.4);
    };
    const auto fading = play(true);
    const auto held = play(false);
    const auto from = size_t(std::lround(reached * 44100)) - 22;
    const double heard = level(fading, 0, from, 45) / level(held, 0, from, 45);
    QVERIFY2(std::abs(heard - 0.8) < 0.005, qPrintable(QString::number(heard)));
}

void KPSoundPlayerTest::heldNoteNeverFades()
{
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(69);
    bool steady = true;
    const auto sound = rig.pump(
        0.8, [&](double) { steady = steady && rig.sampler().currentNoteGain(69) == 1.0f; });
    QVERIFY(steady);
    QVERIFY(!rig.player().isFading(69));
    const double start = loudness(sound, 44100, 0.05, 0.15);
    QVERIFY(std::abs(loudness(sound, 44100, 0.7, 0.8) / start - 1.0) < 0.02);
}

void KPSoundPlayerTest::velocitySetsTheGain_data()
{
    QTest::addColumn<int>("velocity");
    QTest::addColumn<double>("gain");
    QTest::newRow("full") << 127 << 1.0;
    QTest::newRow("mezzo forte") << 90 << 0.5022;
    QTest::newRow("piano") << 32 << 0.0635;
}

// Heard against the same note at full velocity; a release fades from where the note began.
void KPSoundPlayerTest::velocitySetsTheGain()
{
    QFETCH(int, velocity);
    QFETCH(double, gain);
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(69);
    const double full = loudness(rig.pump(0.2), 44100, 0.05, 0.2);
    rig.player().play(69, uint8_t(velocity));
    const double struck = loudness(rig.pump(0.2), 44100, 0.05, 0.2);
    QVERIFY2(std::abs(struck / full - gain) < 0.02 * gain,
             qPrintable(QString::number(struck / full)));
    rig.player().stop(69);
    rig.pump(0.05);
    QVERIFY(rig.sampler().currentNoteGain(69) < float(gain));
    // However soft, the note fades out and stops like any other.
    rig.pump(0.7);
    QCOMPARE(rig.playingVoices(69), 0);
}

void KPSoundPlayerTest::pressDuringFadeSoundsAgain()
{
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(69);
    const double full = loudness(rig.pump(0.2), 44100, 0.05, 0.2);
    rig.player().stop(69);
    rig.pump(0.15);
    QVERIFY(rig.sampler().currentNoteGain(69) < 0.8f);

    rig.player().play(69);
    QCOMPARE(rig.sampler().currentNoteGain(69), 1.0f);
    QCOMPARE(rig.playingVoices(69), 1);
    QVERIFY(!rig.player().isFading(69));
    const auto again = rig.pump(0.4);
    QCOMPARE(rig.sampler().currentNoteGain(69), 1.0f);
    QVERIFY(std::abs(loudness(again, 44100, 0.2, 0.4) / full - 1.0) < 0.02);
}

void KPSoundPlayerTest::shippedInstruments()
{
    QTest::addColumn<QString>("bank");
    for (const char* bank :
         {"Grand Piano", "Music Box", "Ahh Choir", "Electric Piano", "Accordion", "Banjo"})
        QTest::newRow(bank) << QString::fromLatin1(bank);
}

// Released on the fade's grid, a note reaches the first step's value at once (within 5 ms), then
// glides into each next one, reached on its frame, and is silent from the fifth step on.
void KPSoundPlayerTest::fadeStepsGlideOnTheirFrames()
{
    ClockedPlayer rig;
    rig.player().play(69, 127, rig.at(0.0));
    rig.player().stop(69, rig.at(0.3));
    const auto sound = rig.render(1.0);
    const double held = level(sound, 0, 4410, 4410);
    QVERIFY(held > 0.1);
    const std::pair<double, double> line[] = {{0.295, 1.0}, {0.35, 0.8 - 0.2 * 0.045 / 0.095},
                                              {0.4, 0.6},   {0.45, 0.5},
                                              {0.55, 0.3},  {0.65, 0.1}};
    for (const auto& [seconds, gain] : line) {
        const double heard = level(sound, 0, size_t(std::lround(seconds * 44100)) - 200, 401);
        QVERIFY2(std::abs(heard / held - gain) < 0.002,
                 qPrintable(QStringLiteral("%1 at %2 s").arg(heard / held).arg(seconds)));
    }
    QCOMPARE(level(sound, 0, 30870 + 1), 0.0);
}

// A run loop that wakes late, within the output's lead, moves neither the release nor a step.
void KPSoundPlayerTest::lateRunLoopMovesNoFadeStep()
{
    ClockedPlayer onTime;
    ClockedPlayer late(std::chrono::milliseconds(5));
    for (ClockedPlayer* rig : {&onTime, &late}) {
        rig->player().play(69, 127, rig->at(0.0));
        rig->player().stop(69, rig->at(0.33));
    }
    const auto expected = onTime.render(1.0);
    const auto heard = late.render(1.0);
    QCOMPARE(heard.size(), expected.size());
    float largest = 0.0f;
    for (size_t i = 0; i < heard.size(); ++i)
        largest = std::max(largest, std::abs(heard[i] - expected[i]));
    QVERIFY2(largest < 1e-6f, qPrintable(QString::number(largest)));
    const KPSampler::Placement placement = late.player().sampler().placement();
    // The release (the press is for the first frame); the steps are the render's own.
    QCOMPARE(placement.onFrame, 1u);
    QCOMPARE(placement.late, 0u);
}

// Every fade step glides, the last one to silence: measured against the same note held, the
// gain never drops by 0.06 within a millisecond, where a step of 0.2 would.
void KPSoundPlayerTest::releaseEndsWithoutATick()
{
    QFETCH(QString, bank);
    ShippedBanks shipped(*m_resources);
    int rate = 0;
    // One player at a time: each keeps its context current on this thread.
    const auto play = [&](bool release) {
        ClockedPlayer rig;
        rig.player().useSoundBank(bank);
        rig.player().play(60, 127, rig.at(0.0));
        if (release)
            rig.player().stop(60, rig.at(0.3));
        rate = rig.player().sampler().layout().sampleRate;
        return rig.render(0.8);
    };
    const auto fading = play(true);
    const auto steady = play(false);
    const size_t window = size_t(rate) / 1000;
    double before = 1.0;
    for (size_t from = size_t(fading.size() / 2 * 3 / 8); from + window <= fading.size() / 2;
         from += window) {
        const double reference = level(steady, 0, from, window);
        if (reference < 1e-4)
            continue;
        const double gain = level(fading, 0, from, window) / reference;
        QVERIFY2(
            before - gain < 0.06,
            qPrintable(QStringLiteral("%1 -> %2 at frame %3").arg(before).arg(gain).arg(from)));
        before = gain;
    }
    QVERIFY(before < 0.05);
}

// Switching the instrument under a held note fades it out: no step from one sample to the next
// larger than the note's own make, where cutting it off would leave one of its whole height.
void KPSoundPlayerTest::bankSwitchFadesHeldNotes()
{
    QFETCH(QString, bank);
    ShippedBanks shipped(*m_resources);
    ClockedPlayer rig;
    rig.player().useSoundBank(bank);
    rig.player().play(60);
    auto sound = rig.render(0.3);
    const size_t switchedAt = sound.size() / 2;
    const float own = largestStep(sound, switchedAt - 2205, 2205);
    QVERIFY(own > 0.0f);
    rig.player().useSoundBank(bank == QLatin1String("Banjo") ? QStringLiteral("Grand Piano")
                                                             : QStringLiteral("Banjo"));
    const auto after = rig.render(0.05);
    sound.insert(sound.end(), after.begin(), after.end());
    const float switching = largestStep(sound, switchedAt - 1, 2205);
    QVERIFY2(switching <= 1.5f * own,
             qPrintable(QStringLiteral("%1 against %2").arg(switching).arg(own)));
}

void KPSoundPlayerTest::releaseWithoutVoice_data()
{
    QTest::addColumn<bool>("pressedBefore");
    QTest::newRow("never pressed") << false;
    QTest::newRow("voice taken by another note") << true;
}

// The fade reads 0 for the note and ends at its first step; whatever holds the voice sounds on.
void KPSoundPlayerTest::releaseWithoutVoice()
{
    QFETCH(bool, pressedBefore);
    AudioRig rig = AudioRig::withPlayer();
    if (pressedBefore) {
        rig.player().play(40);
        for (uint32_t note = 41; note < 41 + 32; ++note)
            rig.player().play(note);
        QCOMPARE(rig.sampler().source(0).noteIndex, 72);
    }
    rig.pump(0.12);
    rig.player().stop(40);
    QVERIFY(rig.player().isFading(40));
    rig.pump(0.03);
    QVERIFY(!rig.player().isFading(40));
    if (pressedBefore) {
        QCOMPARE(rig.playingVoices(72), 1);
        QCOMPARE(rig.sampler().currentNoteGain(72), 1.0f);
    }
}

void KPSoundPlayerTest::notesOutsideTheTableAreIgnored()
{
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(128);
    rig.player().stop(500);
    QVERIFY(!rig.player().isFading(128));
    for (int voice = 0; voice < KPSampler::kSourceCount; ++voice)
        QCOMPARE(rig.sampler().source(voice).noteIndex, -1);
}

void KPSoundPlayerTest::activeBankChangesNothing()
{
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(69);
    rig.player().stop(69);
    rig.player().useSoundBank(QStringLiteral("Grand Piano"));
    QVERIFY(rig.player().isFading(69));
    QCOMPARE(rig.playingVoices(69), 1);
}

// The "Banjo" fixture is a 22050 Hz bank whose A4 has a strong second harmonic.
void KPSoundPlayerTest::bankSwitchSilencesAndPlaysNewInstrument()
{
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(69);
    rig.player().play(72);
    rig.pump(0.1);
    rig.player().stop(72);

    rig.player().useSoundBank(QStringLiteral("Banjo"));
    QCOMPARE(rig.player().activeSoundBank(), std::optional<QString>(QStringLiteral("Banjo")));
    // The same device, now mixing at the new bank's rate.
    QCOMPARE(rig.devicesOpened(), 1);
    QCOMPARE(rig.device()->sampleRate(), 22050);
    for (uint32_t note = 0; note < 128; ++note)
        QVERIFY(!rig.player().isFading(note));
    // Silent once the sounding notes have faded out, within 10 ms.
    const auto after = rig.pump(0.1);
    QCOMPARE(level(after, 0, 441) + level(after, 1, 441), 0.0);

    rig.player().play(69);
    const auto banjo = rig.pump(0.2);
    QVERIFY(std::abs(cents(estimatePitch(banjo, 22050, 440.0), 440.0)) < 5.0);
    const double ratio = amplitudeAt(banjo, 22050, 880.0) / amplitudeAt(banjo, 22050, 440.0);
    QVERIFY2(std::abs(ratio - 0.5) < 0.05, qPrintable(QString::number(ratio)));
}

// A reload shows as the rate of the bank loaded; a restore that does nothing leaves a note
// sounding.
void KPSoundPlayerTest::saveAndRestore()
{
    AudioRig rig = AudioRig::withPlayer();
    rig.player().play(69);
    rig.player().restoreSoundBank();
    QCOMPARE(rig.playingVoices(69), 1);

    rig.player().saveSoundBank();
    QCOMPARE(rig.player().previousSoundBank(),
             std::optional<QString>(QStringLiteral("Grand Piano")));
    rig.player().useSoundBank(QStringLiteral("Banjo"));
    QCOMPARE(rig.device()->sampleRate(), 22050);
    rig.player().restoreSoundBank();
    QCOMPARE(rig.player().activeSoundBank(), std::optional<QString>(QStringLiteral("Grand Piano")));
    QCOMPARE(rig.sampler().soundBankName(), QStringLiteral("Grand Piano"));
    QCOMPARE(rig.device()->sampleRate(), 44100);
    QVERIFY(!rig.player().previousSoundBank());

    rig.player().play(69);
    rig.player().restoreSoundBank();
    QCOMPARE(rig.playingVoices(69), 1);
}

void KPSoundPlayerTest::systemSoundOpensAtFirstSound()
{
    AudioRig clicks;
    KPSystemSound sound(clicks.opener());
    QCOMPARE(clicks.devicesOpened(), 0);
    sound.play(KPBundle::pathForResource(QStringLiteral("metronome"), QStringLiteral("mp3")));
    QCOMPARE(clicks.devicesOpened(), 1);
    QCOMPARE(sound.liveSoundCount(), 1);
    QVERIFY(level(clicks.render(0.04), 0) > 0.1);
}

// Notes and clicks come out of one device, so one stream (a wave capture) holds both; the
// instrument's context stays current, and a bank switch leaves a click alone.
void KPSoundPlayerTest::systemSoundPlaysApartFromInstrument()
{
    AudioRig rig = AudioRig::withPlayer();
    KPSystemSound sound(rig.opener());
    QSignalSpy finished(&sound, &KPSystemSound::soundFinished);

    rig.player().play(69);
    sound.play(m_resources->path(QStringLiteral("click.wav")));
    QCOMPARE(rig.devicesOpened(), 1);
    QCOMPARE(alcGetCurrentContext(), rig.sampler().context());
    QCOMPARE(alcGetThreadContext(), rig.sampler().context());
    QCOMPARE(rig.playingVoices(69), 1);
    const auto both = rig.render(0.02);
    QVERIFY(amplitudeAt(both, 44100, 440.0) > 0.1);
    QVERIFY(amplitudeAt(both, 44100, 1000.0) > 0.1);

    rig.player().useSoundBank(QStringLiteral("Banjo"));
    QCOMPARE(sound.liveSoundCount(), 1);
    const int rate = rig.device()->sampleRate();
    const auto click = rig.render(0.08);
    QVERIFY(std::abs(cents(estimatePitch(click, rate, 1000.0, 300, 500), 1000.0)) < 5.0);
    QVERIFY(loudness(click, rate, 0.04, 0.08) == 0.0);

    QTRY_COMPARE(sound.liveSoundCount(), 0);
    QCOMPARE(finished.count(), 1);
}

// The program's instrument and clicks play on its one device while either holds it.
void KPSoundPlayerTest::defaultDeviceIsShared()
{
    KPSampler sampler;
    QVERIFY(sampler.setSoundBank(QStringLiteral("Sine Bank")));
    QCOMPARE(KPAudioDevice::openDefault().get(), sampler.device());
}

// A click the device has no source left for is silent and says nothing; later clicks play.
void KPSoundPlayerTest::clickWithoutSourceIsSilent()
{
    AudioRig clicks;
    KPSystemSound sound(clicks.opener());
    const QString click = m_resources->path(QStringLiteral("click.wav"));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    for (int i = 0; i < 300; ++i)
        sound.play(click);
    QVERIFY(sound.liveSoundCount() < 300);
    clicks.render(0.06);
    QTRY_COMPARE(sound.liveSoundCount(), 0);
    sound.play(click);
    QCOMPARE(sound.liveSoundCount(), 1);
}

// While the application's audio is interrupted a click is dropped, not saved up for the return.
void KPSoundPlayerTest::clickDuringInterruptionIsDropped()
{
    AudioRig rig = AudioRig::withPlayer();
    KPSystemSound sound(rig.opener());
    const QString click = m_resources->path(QStringLiteral("click.wav"));
    KPAudioSession::sharedSession().beginInterruption();
    sound.play(click);
    KPAudioSession::sharedSession().endInterruption();
    QCOMPARE(level(rig.render(0.05), 0), 0.0);
    sound.play(click);
    QVERIFY(level(rig.render(0.02), 0) > 0.1);
}

// Even the first instrument's failure, met while the player is made, reaches whoever listens
// from its first use on.
void KPSoundPlayerTest::failedInstrumentIsTold()
{
    QTemporaryDir dir;
    QVERIFY(QFile::copy(m_resources->path(QStringLiteral("Missing Sample.plist")),
                        dir.filePath(QStringLiteral("Grand Piano.plist"))));
    KPBundle::setResourceRoot(dir.path());
    const auto restore = qScopeGuard([&] { KPBundle::setResourceRoot(m_resources->path({})); });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Could not find file")));
    AudioRig rig = AudioRig::withPlayer();
    QSignalSpy failed(&rig.player(), &KPSoundPlayer::soundBankFailed);
    QVERIFY(failed.wait());
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("Grand Piano"));
    QVERIFY(!rig.sampler().isInitialized());
}

void KPSoundPlayerTest::overlappingSystemSoundsAreIndependent()
{
    AudioRig clicks;
    KPSystemSound sound(clicks.opener());
    QSignalSpy finished(&sound, &KPSystemSound::soundFinished);
    const QString click = m_resources->path(QStringLiteral("click.wav"));

    sound.play(click);
    const auto alone = clicks.render(0.02);
    sound.play(click);
    QCOMPARE(sound.liveSoundCount(), 2);
    const auto both = clicks.render(0.02);
    QVERIFY(level(both, 0) > 1.2 * level(alone, 0));
    // The first ends 0.05 s after it began, the second 0.02 s later.
    const auto rest = clicks.render(0.02);
    QTRY_COMPARE(sound.liveSoundCount(), 1);
    QVERIFY(level(clicks.render(0.01), 0) > 0.05);
    clicks.render(0.05);
    QTRY_COMPARE(sound.liveSoundCount(), 0);
    QCOMPARE(finished.count(), 2);
}

// The frames at which clicks begin: sound after at least 200 quiet frames.
static std::vector<size_t> clickOnsets(const std::vector<float>& heard)
{
    std::vector<size_t> onsets;
    size_t quietSince = 0;
    for (size_t frame = 0; frame < heard.size() / 2; ++frame) {
        if (std::abs(heard[2 * frame]) < 0.01f)
            continue;
        if (onsets.empty() || frame - quietSince > 200)
            onsets.push_back(frame);
        quietSince = frame;
    }
    return onsets;
}

void KPSoundPlayerTest::loopedSoundRepeatsExactly_data()
{
    QTest::addColumn<double>("interval");
    QTest::newRow("50 beats a minute") << 1.2;
    QTest::newRow("120") << 0.5;
    QTest::newRow("350, a beat that is no whole number of milliseconds") << 60.0 / 350;
}

// Onsets found in the rendered sound lie a whole beat of frames apart, every one of them.
void KPSoundPlayerTest::loopedSoundRepeatsExactly()
{
    QFETCH(double, interval);
    AudioRig rig;
    KPSystemSound sound(rig.opener());
    QVERIFY(sound.startLoop(m_resources->path(QStringLiteral("click.wav")), interval));
    const std::vector<float> heard = rig.render(3.5 * interval);
    sound.stopLoop();
    QVERIFY(!sound.isLooping());

    const std::vector<size_t> onsets = clickOnsets(heard);
    QCOMPARE(onsets.size(), size_t(4));
    const auto beat = size_t(std::llround(interval * 44100));
    for (size_t i = 1; i < onsets.size(); ++i)
        QCOMPARE(onsets[i] - onsets[i - 1], beat);
    QVERIFY(level(rig.render(0.2), 0) < 1e-6);
}

// A loop starts on the frame of its time; at a new interval its next click comes one new
// interval after its last one, and the old interval's clicks end before their next.
void KPSoundPlayerTest::loopsStartAndHandOverOnTheirFrames()
{
    AudioRig rig;
    KPSystemSound sound(rig.opener());
    const KPClock::TimePoint start = KPClock::current().now();
    const auto at = [start](double seconds) {
        return start + std::chrono::duration_cast<KPClock::Duration>(
                           std::chrono::duration<double>(seconds));
    };
    const QString click = m_resources->path(QStringLiteral("click.wav"));
    // The output opens with the loop, and tells its frame.
    const auto device = std::static_pointer_cast<KPLoopbackDevice>(rig.opener()());
    device->anchor(start);
    QVERIFY(sound.startLoop(click, 0.1, at(0.05)));
    const auto first = rig.render(0.2);
    QVERIFY(sound.changeLoopInterval(0.15));
    auto heard = rig.render(0.5);
    heard.insert(heard.begin(), first.begin(), first.end());
    // Each a frame after its time: the click's first sample is below what counts as sound.
    QCOMPARE(clickOnsets(heard), (std::vector<size_t>{2206, 6616, 13231, 19846, 26461}));
}

void KPSoundPlayerTest::undecodableSystemSoundIsSilent_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("no resource") << QString();
    QTest::newRow("missing file") << QStringLiteral("no_such_click.wav");
    QTest::newRow("not a sound") << QStringLiteral("Grand Piano.plist");
    QTest::newRow("three channels") << QStringLiteral("three_channels.wav");
}

void KPSoundPlayerTest::undecodableSystemSoundIsSilent()
{
    QFETCH(QString, fileName);
    AudioRig clicks;
    KPSystemSound sound(clicks.opener());
    {
        StdoutCapture quiet;
        sound.play(fileName.isEmpty() ? QString() : m_resources->path(fileName));
    }
    QCOMPARE(sound.liveSoundCount(), 0);
    if (clicks.device())
        QCOMPARE(level(clicks.render(0.05), 0), 0.0);

    sound.play(m_resources->path(QStringLiteral("click.wav")));
    QCOMPARE(sound.liveSoundCount(), 1);
}

void KPSoundPlayerTest::shippedConfiguration_data()
{
    QTest::addColumn<QString>("userFile");
    QTest::addColumn<bool>("environmentSet");
    QTest::addColumn<bool>("used");
    QTest::newRow("nothing of the user's") << QString() << false << true;
    QTest::newRow("ALSOFT_CONF set") << QString() << true << false;
    QTest::newRow("~/.alsoftrc") << QStringLiteral("home/.alsoftrc") << false << false;
    QTest::newRow("alsoft.conf in the configuration folder")
        << QStringLiteral("config/alsoft.conf") << false << false;
}

// The shipped settings apply only where the user has none of their own.
void KPSoundPlayerTest::shippedConfiguration()
{
    QFETCH(QString, userFile);
    QFETCH(bool, environmentSet);
    QFETCH(bool, used);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("home")) &&
            QDir(dir.path()).mkpath(QStringLiteral("config")));
    if (!userFile.isEmpty()) {
        QFile file(dir.filePath(userFile));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QByteArray saved[] = {qgetenv("HOME"), qgetenv("XDG_CONFIG_HOME"),
                                qgetenv("ALSOFT_CONF")};
    const bool hadConf = qEnvironmentVariableIsSet("ALSOFT_CONF");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", saved[0]);
        qputenv("XDG_CONFIG_HOME", saved[1]);
        if (hadConf)
            qputenv("ALSOFT_CONF", saved[2]);
        else
            qunsetenv("ALSOFT_CONF");
    });
    qputenv("HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    if (environmentSet)
        qputenv("ALSOFT_CONF", "/etc/users-own.conf");
    else
        qunsetenv("ALSOFT_CONF");

    KPBundle::setResourceRoot(QStringLiteral(KP_SHIPPED_RESOURCES));
    const auto restoreRoot = qScopeGuard([&] { KPBundle::setResourceRoot(m_resources->path({})); });
    const QString shipped = KPOpenALConfiguration::shippedPath();
    QVERIFY(QFileInfo(shipped).isFile());
    QCOMPARE(KPOpenALConfiguration::useShipped(), used);
    const QString expected = used             ? shipped
                             : environmentSet ? QStringLiteral("/etc/users-own.conf")
                                              : QString();
    QCOMPARE(qEnvironmentVariable("ALSOFT_CONF"), expected);
}

// The output moved (a JACK server went away): what sounded stops with the old device, keys play
// on the new one, and the metronome's loop goes on there.
void KPSoundPlayerTest::soundMovesToAnotherDevice()
{
    std::shared_ptr<KPLoopbackDevice> current = KPLoopbackDevice::open();
    const KPAudioDeviceOpener opener = [&current] {
        return current;
    };
    KPSoundPlayer player(opener);
    KPSystemSound sound(opener);
    QVERIFY(sound.startLoop(m_resources->path(QStringLiteral("click.wav")), 0.5));
    player.play(69);
    QVERIFY(level(current->render(44100 / 4), 0) > 0.05);

    current = KPLoopbackDevice::open();
    QVERIFY(player.sampler().changeDevice());
    sound.changeDevice();
    QCOMPARE(player.sampler().playingVoiceCount(), 0);
    QVERIFY(sound.isLooping());
    const std::vector<float> clicks = current->render(44100);
    QVERIFY(level(clicks, 0) > 0.001);
    sound.stopLoop();
    QVERIFY(level(current->render(44100 / 4), 0) < 1e-6);
    player.play(69);
    QVERIFY(level(current->render(44100 / 4), 0) > 0.05);

    // Moved while the application is interrupted, it stays silent.
    current->pause();
    current = KPLoopbackDevice::open();
    QVERIFY(player.sampler().changeDevice());
    QVERIFY(current->isPaused());
}

QTEST_GUILESS_MAIN(KPSoundPlayerTest)
#include "tst_soundplayer.moc"
