#include "KPAudioTestRig.h"

#include "audio/KPAudioSession.h"
#include "audio/KPSampler.h"
#include "audio/KPSoundBank.h"
#include "platform/KPBundle.h"

#include <QThread>
#include <QtTest>

#include <cmath>
#include <map>

using namespace KPAudioTest;

namespace {

double balance(const std::vector<float>& stereo)
{
    const double left = level(stereo, 0), right = level(stereo, 1);
    return (right - left) / (right + left);
}

} // namespace

// What a listener hears from the sampler: pitch, place in the stereo field, interruptions, and
// the shipped instruments.
class KPSamplerSoundTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pitch_data();
    void pitch();
    void stereoSide_data();
    void stereoSide();
    void notesBetweenSpreadEvenly();
    void stereoSampleSoundsAsRecorded();
    void interruptionSilencesAndResumes();
    void interruptionPausesDevice();
    void shippedBanks_data();
    void shippedBanks();
    void velocityPicksLayer_data();
    void velocityPicksLayer();
    void loopHoldsNote();

private:
    std::unique_ptr<FixtureResources> m_resources;
};

void KPSamplerSoundTest::initTestCase()
{
    m_resources = std::make_unique<FixtureResources>();
    QVERIFY(m_resources->isValid());
}

void KPSamplerSoundTest::pitch_data()
{
    QTest::addColumn<int>("note");
    for (int note : {24, 36, 47, 48, 55, 60, 67, 71, 72, 84, 96, 107})
        QTest::addRow("note %d", note) << note;
}

// Three sine samples at C2, C4 and C6 pitched to every part of the keyboard.
void KPSamplerSoundTest::pitch()
{
    QFETCH(int, note);
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    rig.sampler().noteOn(note, 1.0f);
    const auto sound = rig.render(0.25);
    const double expected = 440.0 * std::pow(2.0, (note - 69) / 12.0);
    const double measured = estimatePitch(sound, 44100, expected, 882);
    QVERIFY2(measured > 0, "no periodic sound near the note's pitch");
    QVERIFY2(std::abs(cents(measured, expected)) < 5.0,
             qPrintable(QStringLiteral("%1 Hz for %2 Hz").arg(measured).arg(expected)));
}

void KPSamplerSoundTest::stereoSide_data()
{
    QTest::addColumn<int>("note");
    // How many dB the right channel sounds above the left one.
    QTest::addColumn<double>("least");
    QTest::addColumn<double>("most");
    QTest::newRow("C1 left, heard in both") << 24 << -10.0 << -1.0;
    QTest::newRow("B2 left, heard in both") << 47 << -10.0 << -1.0;
    QTest::newRow("C4 in the middle") << 60 << -1.0 << 1.0;
    QTest::newRow("C6 right, heard in both") << 84 << 1.0 << 10.0;
    QTest::newRow("B7 right, heard in both") << 107 << 1.0 << 10.0;
}

// Every key sounds in both channels, low ones to the left and high ones to the right.
void KPSamplerSoundTest::stereoSide()
{
    QFETCH(int, note);
    QFETCH(double, least);
    QFETCH(double, most);
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    rig.sampler().noteOn(note, 1.0f);
    const auto sound = rig.render(0.1);
    const double left = level(sound, 0), right = level(sound, 1);
    const double louder = 20.0 * std::log10(right / left);
    QVERIFY2(louder >= least && louder <= most, qPrintable(QStringLiteral("L %1 / R %2 dBFS")
                                                               .arg(20.0 * std::log10(left))
                                                               .arg(20.0 * std::log10(right))));
}

// From 48 to 79 no note sits further left than the one below, and within the range a stereo
// pair can place (up to 60 degrees aside) each sits further right; the middle ones near the centre.
void KPSamplerSoundTest::notesBetweenSpreadEvenly()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    std::map<int, double> balances;
    for (int note = 48; note <= 79; ++note) {
        rig.sampler().noteOn(note, 1.0f);
        balances[note] = balance(rig.render(0.05));
        rig.sampler().noteOff(note);
    }
    QVERIFY(balances[48] < -0.15);
    QVERIFY(balances[79] > 0.15);
    QVERIFY2(std::abs(balances[63]) < 0.1 && std::abs(balances[64]) < 0.1,
             qPrintable(QStringLiteral("%1, %2").arg(balances[63]).arg(balances[64])));
    for (int note = 49; note <= 79; ++note) {
        const bool inner = note >= 52 && note <= 76;
        const double rise = balances[note] - balances[note - 1];
        QVERIFY2(inner ? rise > 0.01 : rise > -1e-6,
                 qPrintable(QStringLiteral("note %1: %2 after %3")
                                .arg(note)
                                .arg(balances[note])
                                .arg(balances[note - 1])));
    }
}

void KPSamplerSoundTest::stereoSampleSoundsAsRecorded()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Stereo Sample"));
    for (int note : {30, 100}) {
        rig.sampler().noteOn(note, 1.0f);
        const auto sound = rig.render(0.05);
        rig.sampler().noteOff(note);
        QVERIFY(level(sound, 0) > 0.2);
        QVERIFY(level(sound, 1) < 0.001);
    }
}

void KPSamplerSoundTest::interruptionSilencesAndResumes()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    KPAudioSession& session = KPAudioSession::sharedSession();
    QVERIFY(session.isActive());
    QCOMPARE(session.category(), KPAudioSession::kAudioSessionCategory_SoloAmbientSound);
    rig.sampler().noteOn(60, 1.0f);
    rig.render(0.1);

    session.beginInterruption();
    QVERIFY(!session.isActive());
    QCOMPARE(alcGetCurrentContext(), nullptr);
    const auto during = rig.render(0.2);
    QCOMPARE(level(during, 0) + level(during, 1), 0.0);

    session.endInterruption();
    QVERIFY(session.isActive());
    QCOMPARE(alcGetCurrentContext(), rig.sampler().context());
    const auto after = rig.render(0.05);
    QVERIFY(level(after, 0) > 0.1);
    ALfloat offset = 0;
    alGetSourcef(rig.sampler().source(0).sourceId(), AL_SEC_OFFSET, &offset);
    QVERIFY2(std::abs(offset - 0.15f) < 0.01f, qPrintable(QString::number(offset)));
}

// On the program's own output (a device mixed by its own thread in real time) the sound stands
// still between the interruption's begin and end.
void KPSamplerSoundTest::interruptionPausesDevice()
{
    KPSampler sampler;
    sampler.setSoundBank(QStringLiteral("Voices"));
    KPAudioSession& session = KPAudioSession::sharedSession();
    auto offset = [&] {
        ALfloat seconds = 0;
        alGetSourcef(sampler.source(0).sourceId(), AL_SEC_OFFSET, &seconds);
        return seconds;
    };
    // Note 30 plays a 3 s sample at about a third of its speed.
    sampler.noteOn(30, 1.0f);
    QThread::msleep(100);
    const float beforeBegin = offset();
    QVERIFY(beforeBegin > 0.0f);
    session.beginInterruption();
    session.beginInterruption();
    QThread::msleep(200);
    session.endInterruption();
    const float afterEnd = offset();
    QVERIFY2(afterEnd - beforeBegin < 0.03f, qPrintable(QString::number(afterEnd - beforeBegin)));
    QThread::msleep(100);
    QVERIFY(offset() - afterEnd > 0.02f);
}

void KPSamplerSoundTest::shippedBanks_data()
{
    QTest::addColumn<QString>("bank");
    for (const char* name :
         {"Grand Piano", "Music Box", "Ahh Choir", "Electric Piano", "Accordion", "Banjo"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Every key of the keyboard, 24 to 107, sounds at its own pitch. Real instruments have no single
// exact pitch (a piano's partials are stretched, an accordion's reeds beat, a choir swells into
// its note), so: each sample sounds within a quarter tone of its root note, by its period or by
// its fundamental partial, on an early or a later stretch, which catches a wrong root; and each
// key sounds at exactly its distance from the root (within 5 cents), measured the same way on
// the same stretch of the sample.
void KPSamplerSoundTest::shippedBanks()
{
    QFETCH(QString, bank);
    KPBundle::setResourceRoot(QStringLiteral(KP_SHIPPED_RESOURCES));
    const auto restore = qScopeGuard([&] { KPBundle::setResourceRoot(m_resources->path({})); });
    if (KPBundle::pathForResource(bank, QStringLiteral("plist")).isEmpty())
        QSKIP("The shipped sound bank is not there yet");

    AudioRig rig = AudioRig::withSampler(bank);
    KPSampler& sampler = rig.sampler();
    QVERIFY(!sampler.layout().samples.empty());
    const int rate = rig.device()->sampleRate();
    auto pitchOf = [](int note) {
        return 440.0 * std::pow(2.0, (note - 69) / 12.0);
    };

    struct Stretch
    {
        double start;
        double length;
    };
    const Stretch stretches[] = {{0.1, 0.4}, {0.3, 0.6}};
    // The period and the fundamental partial of `note` over the stretch of its sample, in the
    // sample's own time (`factor` is the note's speed against its root).
    auto measure = [&](int note, double factor, double expected, Stretch stretch) {
        sampler.noteOn(note, 1.0f);
        const auto sound = rig.render((stretch.start + stretch.length) / factor + 0.01);
        sampler.noteOff(note);
        const auto from = size_t(stretch.start / factor * rate);
        const auto frames = size_t(stretch.length / factor * rate);
        return std::pair{estimatePitch(sound, rate, expected, from, frames),
                         fundamentalPartial(sound, rate, expected, from, frames)};
    };
    auto offBy = [](double measured, double expected) {
        return measured > 0 ? std::abs(cents(measured, expected)) : 1e9;
    };

    struct Root
    {
        int note = 0;
        Stretch stretch{};
        std::pair<double, double> frequencies;
    };
    QStringList wrong;
    std::map<int, Root> roots;
    for (int key = 24; key <= 107; ++key) {
        const int index = sampler.layout().notes[size_t(key)].bufferIndex;
        QVERIFY2(index >= 0, qPrintable(QStringLiteral("key %1 has no sample").arg(key)));
        if (roots.count(index))
            continue;
        Root root;
        root.note = int(std::lround(
            69 + 12 * std::log2(sampler.layout().samples[size_t(index)].pitch / 440.0)));
        const double expected = pitchOf(root.note);
        double closest = 1e9;
        for (const Stretch& stretch : stretches) {
            const auto frequencies = measure(root.note, 1.0, expected, stretch);
            const double off =
                std::min(offBy(frequencies.first, expected), offBy(frequencies.second, expected));
            if (off < closest) {
                closest = off;
                root.stretch = stretch;
                root.frequencies = frequencies;
            }
        }
        if (closest > 50.0)
            wrong << QStringLiteral("%1 is not at its root %2")
                         .arg(sampler.layout().samples[size_t(index)].filename)
                         .arg(root.note);
        roots[index] = root;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));

    for (int key = 24; key <= 107; ++key) {
        const Root& root = roots.at(sampler.layout().notes[size_t(key)].bufferIndex);
        const double factor = std::pow(2.0, (key - root.note) / 12.0);
        const auto [byPeriod, byPartial] =
            measure(key, factor, pitchOf(root.note) * factor, root.stretch);
        const double off = std::min(offBy(byPeriod, root.frequencies.first * factor),
                                    offBy(byPartial, root.frequencies.second * factor));
        if (off > 5.0)
            wrong << QStringLiteral("key %1: %2 cents").arg(key).arg(off);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
}

void KPSamplerSoundTest::velocityPicksLayer_data()
{
    QTest::addColumn<QString>("bank");
    QTest::addColumn<int>("velocity");
    // The second harmonic's amplitude against the fundamental's.
    QTest::addColumn<double>("least");
    QTest::addColumn<double>("most");
    // Another velocity of the same layer.
    QTest::addColumn<int>("other");
    QTest::newRow("soft layer's loudest") << "Layered Bank" << 64 << 0.0 << 0.05 << 20;
    QTest::newRow("loud layer's softest") << "Layered Bank" << 65 << 1.5 << 2.5 << 127;
    QTest::newRow("one layer, written the first way, plays every velocity")
        << "Sine Bank" << 127 << 0.0 << 0.05 << 10;
}

// The layer follows the velocity, and the velocity still scales the gain.
void KPSamplerSoundTest::velocityPicksLayer()
{
    QFETCH(QString, bank);
    QFETCH(int, velocity);
    QFETCH(double, least);
    QFETCH(double, most);
    QFETCH(int, other);
    AudioRig rig = AudioRig::withSampler(bank);
    const double c4 = 261.6256;
    const auto levelAt = [&](int struck) {
        rig.sampler().noteOn(60, KPSoundBank::gainForVelocity(struck));
        const auto sound = rig.render(0.3);
        rig.sampler().noteOff(60);
        return std::pair{amplitudeAt(sound, 44100, c4, 4410),
                         amplitudeAt(sound, 44100, 2 * c4, 4410)};
    };
    const auto [fundamental, harmonic] = levelAt(velocity);
    QVERIFY(fundamental > 0.01);
    const double ratio = harmonic / fundamental;
    QVERIFY2(ratio >= least && ratio <= most, qPrintable(QString::number(ratio)));
    const double gains =
        KPSoundBank::gainForVelocity(other) / KPSoundBank::gainForVelocity(velocity);
    const double levels = levelAt(other).first / fundamental;
    QVERIFY2(std::abs(levels / gains - 1.0) < 0.1, qPrintable(QString::number(levels / gains)));
}

// A sample with a loop sounds for as long as the note is held.
void KPSamplerSoundTest::loopHoldsNote()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Layered Bank"));
    rig.sampler().noteOn(72, KPSoundBank::gainForVelocity(40));
    const auto sound = rig.render(1.0);
    QVERIFY(level(sound, 0, 40000) > 0.5 * level(sound, 0, 0, 2205));
    QVERIFY(std::abs(cents(estimatePitch(sound, 44100, 523.2511, 40000), 523.2511)) < 5.0);
}

QTEST_GUILESS_MAIN(KPSamplerSoundTest)
#include "tst_samplersound.moc"
