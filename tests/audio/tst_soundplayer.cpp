#include "KPAudioTestSupport.h"

#include "audio/KPAudioSession.h"
#include "audio/KPLoopbackOutput.h"
#include "audio/KPSoundPlayer.h"
#include "audio/KPSystemSound.h"
#include "platform/KPBundle.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

using namespace KPAudioTest;

namespace {

// A player on a loopback output. Time on a loopback device moves only when it is rendered, so
// waiting for the fade timers renders the same stretch of sound as passes on the clock.
struct Rig
{
    KPLoopbackOutput* output = nullptr;
    std::unique_ptr<KPSoundPlayer> player;

    KPSampler& sampler() const { return player->sampler(); }

    std::vector<float> pump(double seconds,
                            const std::function<void(double)>& probe = nullptr) const
    {
        QElapsedTimer clock;
        clock.start();
        std::vector<float> sound;
        long rendered = 0;
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const double now = double(clock.nsecsElapsed()) / 1e9;
            KPLoopbackDevice* device = output->device();
            const long due = std::lround(std::min(now, seconds) * device->sampleRate());
            if (due > rendered) {
                const auto chunk = device->render(int(due - rendered));
                sound.insert(sound.end(), chunk.begin(), chunk.end());
                rendered = due;
            }
            if (probe)
                probe(now);
            if (now >= seconds)
                return sound;
            QThread::usleep(300);
        }
    }

    // The voices that carry the note and are playing.
    int playingVoices(int note) const
    {
        int count = 0;
        for (int voice = 0; voice < KPSampler::kSourceCount; ++voice) {
            ALint state = 0;
            alGetSourcei(sampler().source(voice).sourceId(), AL_SOURCE_STATE, &state);
            count += sampler().source(voice).noteIndex == note && state == AL_PLAYING;
        }
        return count;
    }
};

Rig makeRig()
{
    auto output = std::make_unique<KPLoopbackOutput>();
    Rig rig;
    rig.output = output.get();
    rig.player = std::make_unique<KPSoundPlayer>(std::move(output));
    return rig;
}

double loudness(const std::vector<float>& sound, int rate, double from, double to)
{
    const auto first = size_t(from * rate);
    return level(sound, 0, first, size_t((to - from) * rate)) +
           level(sound, 1, first, size_t((to - from) * rate));
}

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
    void pressDuringFadeSoundsAgain();
    void releaseWithoutVoice_data();
    void releaseWithoutVoice();
    void notesOutsideTheTableAreIgnored();
    void activeBankChangesNothing();
    void bankSwitchSilencesAndPlaysNewInstrument();
    void saveAndRestore();
    void systemSoundOpensAtFirstSound();
    void systemSoundPlaysApartFromInstrument();
    void overlappingSystemSoundsAreIndependent();
    void undecodableSystemSoundIsSilent_data();
    void undecodableSystemSoundIsSilent();
    void shippedConfiguration_data();
    void shippedConfiguration();

private:
    std::unique_ptr<FixtureResources> m_resources;
};

void KPSoundPlayerTest::initTestCase()
{
    m_resources = std::make_unique<FixtureResources>();
    QVERIFY(m_resources->isValid());
}

void KPSoundPlayerTest::firstUseLoadsGrandPiano()
{
    Rig rig = makeRig();
    const QStringList names{"Grand Piano",    "Music Box", "Ahh Choir",
                            "Electric Piano", "Accordion", "Banjo"};
    QCOMPARE(rig.player->soundBanks().size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        QCOMPARE(rig.player->soundBanks()[i], QStringList{names[i]});
    QCOMPARE(rig.player->activeSoundBank(), std::optional<QString>(names[0]));
    QCOMPARE(rig.sampler().soundBankName(), names[0]);
    QCOMPARE(rig.output->devicesOpened(), 1);
    QVERIFY(!rig.player->previousSoundBank());
    for (uint32_t note = 0; note < 128; ++note)
        QVERIFY(rig.player->fadeTimer(note) && !rig.player->fadeTimer(note)->isScheduled());

    KPSoundPlayer& shared = KPSoundPlayer::sharedPlayer();
    QCOMPARE(&KPSoundPlayer::sharedPlayer(), &shared);
    QCOMPARE(shared.activeSoundBank(), std::optional<QString>(names[0]));
}

// Held 0.2 s, then released: the gain steps down 0.2 at a time every 0.1 s, the sound is gone
// within 0.45 s and the voice stopped within 0.5 s (with a little room for a busy machine).
void KPSoundPlayerTest::releaseFadesToSilence()
{
    Rig rig = makeRig();
    rig.player->play(69);
    const auto held = rig.pump(0.2);
    const double full = loudness(held, 44100, 0.05, 0.2);
    QVERIFY(full > 0.3);

    const KPGridTimer* pressTimer = rig.player->fadeTimer(69);
    rig.player->stop(69);
    QVERIFY(pressTimer->isScheduled());
    QList<float> gains;
    double stoppedAt = -1;
    const auto fading = rig.pump(0.7, [&](double now) {
        const float gain = rig.sampler().currentNoteGain(69);
        if (gains.isEmpty() || gains.last() != gain)
            gains << gain;
        if (stoppedAt < 0 && rig.playingVoices(69) == 0)
            stoppedAt = now;
    });

    QCOMPARE(gains.size(), 5);
    const float steps[] = {0.8f, 0.6f, 0.4f, 0.2f, 0.0f};
    for (qsizetype i = 0; i < gains.size(); ++i)
        QVERIFY2(std::abs(gains[i] - steps[i]) < 1e-6f, qPrintable(QString::number(gains[i])));
    QVERIFY2(stoppedAt > 0.38 && stoppedAt < 0.55, qPrintable(QString::number(stoppedAt)));
    QVERIFY(std::abs(loudness(fading, 44100, 0.01, 0.08) / full - 0.8) < 0.05);
    QVERIFY(loudness(fading, 44100, 0.45, 0.7) < 1e-5);
    QVERIFY(rig.player->fadeTimer(69) != pressTimer);
    QVERIFY(!rig.player->fadeTimer(69)->isScheduled());
}

void KPSoundPlayerTest::firstFadeStep_data()
{
    QTest::addColumn<double>("hold");
    QTest::addColumn<double>("earliest");
    QTest::addColumn<double>("latest");
    QTest::newRow("held longer than a step: at once") << 0.25 << 0.0 << 0.03;
    QTest::newRow("released sooner: a step after the press") << 0.03 << 0.055 << 0.09;
}

void KPSoundPlayerTest::firstFadeStep()
{
    QFETCH(double, hold);
    QFETCH(double, earliest);
    QFETCH(double, latest);
    Rig rig = makeRig();
    rig.player->play(64);
    rig.pump(hold);
    rig.player->stop(64);
    double firstStep = -1;
    rig.pump(0.15, [&](double now) {
        if (firstStep < 0 && rig.sampler().currentNoteGain(64) < 1.0f)
            firstStep = now;
    });
    QVERIFY2(firstStep >= earliest && firstStep <= latest, qPrintable(QString::number(firstStep)));
}

void KPSoundPlayerTest::heldNoteNeverFades()
{
    Rig rig = makeRig();
    rig.player->play(69);
    bool steady = true;
    const auto sound = rig.pump(
        0.8, [&](double) { steady = steady && rig.sampler().currentNoteGain(69) == 1.0f; });
    QVERIFY(steady);
    QVERIFY(!rig.player->fadeTimer(69)->isScheduled());
    const double start = loudness(sound, 44100, 0.05, 0.15);
    QVERIFY(std::abs(loudness(sound, 44100, 0.7, 0.8) / start - 1.0) < 0.02);
}

void KPSoundPlayerTest::pressDuringFadeSoundsAgain()
{
    Rig rig = makeRig();
    rig.player->play(69);
    const double full = loudness(rig.pump(0.2), 44100, 0.05, 0.2);
    rig.player->stop(69);
    rig.pump(0.15);
    QVERIFY(rig.sampler().currentNoteGain(69) < 0.8f);

    rig.player->play(69);
    QCOMPARE(rig.sampler().currentNoteGain(69), 1.0f);
    QCOMPARE(rig.playingVoices(69), 1);
    QVERIFY(!rig.player->fadeTimer(69)->isScheduled());
    const auto again = rig.pump(0.4);
    QCOMPARE(rig.sampler().currentNoteGain(69), 1.0f);
    QVERIFY(std::abs(loudness(again, 44100, 0.2, 0.4) / full - 1.0) < 0.02);
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
    Rig rig = makeRig();
    if (pressedBefore) {
        rig.player->play(40);
        for (uint32_t note = 41; note < 41 + 32; ++note)
            rig.player->play(note);
        QCOMPARE(rig.sampler().source(0).noteIndex, 72);
    }
    rig.pump(0.12);
    const KPGridTimer* timer = rig.player->fadeTimer(40);
    rig.player->stop(40);
    rig.pump(0.03);
    QVERIFY(rig.player->fadeTimer(40) != timer);
    QVERIFY(!rig.player->fadeTimer(40)->isScheduled());
    if (pressedBefore) {
        QCOMPARE(rig.playingVoices(72), 1);
        QCOMPARE(rig.sampler().currentNoteGain(72), 1.0f);
    }
}

void KPSoundPlayerTest::notesOutsideTheTableAreIgnored()
{
    Rig rig = makeRig();
    rig.player->play(128);
    rig.player->stop(500);
    QCOMPARE(rig.player->fadeTimer(128), nullptr);
    for (int voice = 0; voice < KPSampler::kSourceCount; ++voice)
        QCOMPARE(rig.sampler().source(voice).noteIndex, -1);
}

void KPSoundPlayerTest::activeBankChangesNothing()
{
    Rig rig = makeRig();
    rig.player->play(69);
    rig.player->stop(69);
    const KPGridTimer* fading = rig.player->fadeTimer(69);
    const KPGridTimer* idle = rig.player->fadeTimer(0);
    rig.player->useSoundBank(QStringLiteral("Grand Piano"));
    QCOMPARE(rig.player->fadeTimer(69), fading);
    QCOMPARE(rig.player->fadeTimer(0), idle);
    QVERIFY(fading->isScheduled());
    QCOMPARE(rig.output->devicesOpened(), 1);
    QCOMPARE(rig.playingVoices(69), 1);
}

// The "Banjo" fixture is a 22050 Hz bank whose A4 has a strong second harmonic.
void KPSoundPlayerTest::bankSwitchSilencesAndPlaysNewInstrument()
{
    Rig rig = makeRig();
    rig.player->play(69);
    rig.player->play(72);
    rig.pump(0.1);
    rig.player->stop(72);
    std::vector<const KPGridTimer*> before;
    for (uint32_t note = 0; note < 128; ++note)
        before.push_back(rig.player->fadeTimer(note));

    rig.player->useSoundBank(QStringLiteral("Banjo"));
    QCOMPARE(rig.player->activeSoundBank(), std::optional<QString>(QStringLiteral("Banjo")));
    QCOMPARE(rig.output->devicesOpened(), 2);
    QCOMPARE(rig.output->device()->sampleRate(), 22050);
    for (uint32_t note = 0; note < 128; ++note) {
        QVERIFY(rig.player->fadeTimer(note) != before[note]);
        QVERIFY(!rig.player->fadeTimer(note)->isScheduled());
    }
    const auto after = rig.pump(0.1);
    QCOMPARE(level(after, 0) + level(after, 1), 0.0);

    rig.player->play(69);
    const auto banjo = rig.pump(0.2);
    QVERIFY(std::abs(cents(estimatePitch(banjo, 22050, 440.0), 440.0)) < 5.0);
    const double ratio = amplitudeAt(banjo, 22050, 880.0) / amplitudeAt(banjo, 22050, 440.0);
    QVERIFY2(std::abs(ratio - 0.5) < 0.05, qPrintable(QString::number(ratio)));
}

void KPSoundPlayerTest::saveAndRestore()
{
    Rig rig = makeRig();
    rig.player->restoreSoundBank();
    QCOMPARE(rig.output->devicesOpened(), 1);

    rig.player->saveSoundBank();
    QCOMPARE(rig.player->previousSoundBank(),
             std::optional<QString>(QStringLiteral("Grand Piano")));
    rig.player->useSoundBank(QStringLiteral("Banjo"));
    rig.player->restoreSoundBank();
    QCOMPARE(rig.player->activeSoundBank(), std::optional<QString>(QStringLiteral("Grand Piano")));
    QCOMPARE(rig.sampler().soundBankName(), QStringLiteral("Grand Piano"));
    QCOMPARE(rig.output->devicesOpened(), 3);
    QVERIFY(!rig.player->previousSoundBank());

    rig.player->restoreSoundBank();
    QCOMPARE(rig.output->devicesOpened(), 3);
}

void KPSoundPlayerTest::systemSoundOpensAtFirstSound()
{
    auto output = std::make_unique<KPLoopbackOutput>();
    KPLoopbackOutput* clicks = output.get();
    KPSystemSound sound(std::move(output));
    QCOMPARE(clicks->devicesOpened(), 0);
    sound.play(KPBundle::pathForResource(QStringLiteral("metronome"), QStringLiteral("mp3")));
    QCOMPARE(clicks->devicesOpened(), 1);
    QCOMPARE(sound.liveSoundCount(), 1);
    QVERIFY(level(render(clicks->device(), 0.04), 0) > 0.1);
}

// The instrument's context stays current, and a bank switch leaves a click alone.
void KPSoundPlayerTest::systemSoundPlaysApartFromInstrument()
{
    Rig rig = makeRig();
    auto output = std::make_unique<KPLoopbackOutput>();
    KPLoopbackOutput* clicks = output.get();
    KPSystemSound sound(std::move(output));
    QSignalSpy finished(&sound, &KPSystemSound::soundFinished);

    sound.play(m_resources->path(QStringLiteral("click.wav")));
    QCOMPARE(alcGetCurrentContext(), rig.sampler().context());
    QCOMPARE(alcGetThreadContext(), nullptr);
    rig.player->play(69);
    QCOMPARE(rig.playingVoices(69), 1);
    rig.player->useSoundBank(QStringLiteral("Banjo"));
    QCOMPARE(sound.liveSoundCount(), 1);
    const auto click = render(clicks->device(), 0.1);
    QVERIFY(std::abs(cents(estimatePitch(click, 44100, 1000.0, 0, 2000), 1000.0)) < 5.0);
    QVERIFY(loudness(click, 44100, 0.06, 0.1) == 0.0);

    QTRY_COMPARE(sound.liveSoundCount(), 0);
    QCOMPARE(finished.count(), 1);
}

void KPSoundPlayerTest::overlappingSystemSoundsAreIndependent()
{
    auto output = std::make_unique<KPLoopbackOutput>();
    KPLoopbackOutput* clicks = output.get();
    KPSystemSound sound(std::move(output));
    QSignalSpy finished(&sound, &KPSystemSound::soundFinished);
    const QString click = m_resources->path(QStringLiteral("click.wav"));

    sound.play(click);
    const auto alone = render(clicks->device(), 0.02);
    sound.play(click);
    QCOMPARE(sound.liveSoundCount(), 2);
    const auto both = render(clicks->device(), 0.02);
    QVERIFY(level(both, 0) > 1.2 * level(alone, 0));
    // The first ends 0.05 s after it began, the second 0.02 s later.
    const auto rest = render(clicks->device(), 0.02);
    QTRY_COMPARE(sound.liveSoundCount(), 1);
    QVERIFY(level(render(clicks->device(), 0.01), 0) > 0.05);
    render(clicks->device(), 0.05);
    QTRY_COMPARE(sound.liveSoundCount(), 0);
    QCOMPARE(finished.count(), 2);
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
    auto output = std::make_unique<KPLoopbackOutput>();
    KPLoopbackOutput* clicks = output.get();
    KPSystemSound sound(std::move(output));
    {
        StdoutCapture quiet;
        sound.play(fileName.isEmpty() ? QString() : m_resources->path(fileName));
    }
    QCOMPARE(sound.liveSoundCount(), 0);
    if (clicks->device())
        QCOMPARE(level(render(clicks->device(), 0.05), 0), 0.0);

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

    const QString shipped = KPAudioOutput::shippedConfigurationPath();
    QVERIFY(QFileInfo(shipped).isFile());
    QCOMPARE(KPAudioOutput::useShippedConfiguration(), used);
    const QString expected = used             ? shipped
                             : environmentSet ? QStringLiteral("/etc/users-own.conf")
                                              : QString();
    QCOMPARE(qEnvironmentVariable("ALSOFT_CONF"), expected);
}

QTEST_GUILESS_MAIN(KPSoundPlayerTest)
#include "tst_soundplayer.moc"
