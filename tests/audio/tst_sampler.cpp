#include "KPAudioTestRig.h"

#include "audio/KPSampler.h"
#include "platform/KPBundle.h"

#include <QProcess>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace KPAudioTest;

namespace {

// "0-50:0,51-127:1": the buffer of every note, run by run.
std::array<int, 128> parseMapping(const QString& text)
{
    std::array<int, 128> mapping;
    mapping.fill(-2);
    for (const QString& run : text.split(u',')) {
        const QStringList fields = run.split(u':');
        const QStringList range = fields[0].split(u'-');
        for (int n = range[0].toInt(); n <= range[1].toInt(); ++n)
            mapping[size_t(n)] = fields[1].toInt();
    }
    return mapping;
}

std::array<int, 128> mappingOf(const KPSampler& sampler)
{
    std::array<int, 128> mapping;
    for (int n = 0; n < 128; ++n)
        mapping[size_t(n)] = sampler.layout().notes[size_t(n)].bufferIndex;
    return mapping;
}

} // namespace

class KPSamplerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noteTable_data();
    void noteTable();
    void bankMapping_data();
    void bankMapping();
    void failedBankKeepsTables_data();
    void failedBankKeepsTables();
    void bankWithoutSamplesIsSilent();
    void sameBankDoesNothing();
    void operationsBeforeSetUp_data();
    void operationsBeforeSetUp();
    void stealsOldestVoice();
    void equalTimesStealLowestIndex_data();
    void equalTimesStealLowestIndex();
    void queuedVoicesAreNotFree();
    void endedVoicesAreReusedFirst();
    void sameNoteTakesAnotherVoice();
    void noteStartsOnItsFrame_data();
    void noteStartsOnItsFrame();
    void cycleEventStartsOnItsFrame();
    void noteOffFollowsTheVoice();
    void queuedNotesStartTogether();
    void failedSamples_data();
    void failedSamples();
    void silentOutputWithoutSoundCard();

private:
    std::unique_ptr<FixtureResources> m_resources;
};

void KPSamplerTest::initTestCase()
{
    m_resources = std::make_unique<FixtureResources>();
    QVERIFY(m_resources->isValid());
}

void KPSamplerTest::noteTable_data()
{
    QTest::addColumn<int>("note");
    QTest::addColumn<float>("pitch");
    QTest::addColumn<float>("panning");
    QTest::newRow("lowest") << 0 << 8.1757989f << -50.0f;
    QTest::newRow("47, last at the far left") << 47 << 123.47083f << -50.0f;
    QTest::newRow("48, where the spread begins") << 48 << 130.81278f << -50.0f;
    QTest::newRow("middle C") << 60 << 261.62557f << -11.290323f;
    QTest::newRow("A4") << 69 << 440.0f << 17.741936f;
    QTest::newRow("79, where the spread ends") << 79 << 783.99087f << 50.0f;
    QTest::newRow("80, first at the far right") << 80 << 830.60939f << 50.0f;
    QTest::newRow("highest") << 127 << 12543.854f << 50.0f;
}

void KPSamplerTest::noteTable()
{
    QFETCH(int, note);
    QFETCH(float, pitch);
    QFETCH(float, panning);
    KPSampler sampler(AudioRig().opener());
    const KPSoundBank::NoteEntry& entry = sampler.layout().notes[size_t(note)];
    QCOMPARE(entry.pitch, pitch);
    QCOMPARE(entry.panning, panning);
    QCOMPARE(entry.bufferIndex, -1);
}

void KPSamplerTest::bankMapping_data()
{
    QTest::addColumn<QString>("bank");
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("buffers");
    QTest::addColumn<QString>("mapping");
    // "note:factor" pairs: the note's pitch over its sample's root pitch.
    QTest::addColumn<QString>("factors");

    QTest::newRow("one sample serves every note") << "One Sample" << 44100 << 1 << "0-127:0"
                                                  << "60:1,72:2,48:0.5";
    QTest::newRow("last sample reaches 127") << "Short Last" << 44100 << 2 << "0-50:0,51-127:1"
                                             << "50:1.334840,90:3.174802";
    QTest::newRow("lower high note changes nothing, next takes over")
        << "Lower High" << 44100 << 4 << "0-50:0,51-100:2,101-127:3"
        << "";
    QStringList each;
    for (int n = 0; n < 128; ++n)
        each << QStringLiteral("%1-%1:%1").arg(n);
    QTest::newRow("first 128 of 130 samples")
        << "Many Groups" << 44100 << 128 << each.join(u',') << "127:28.508758";
    QTest::newRow("elements after the last whole sample ignored")
        << "Trailing Elements" << 44100 << 2 << "0-60:0,61-127:1"
        << "";
    QTest::newRow("numbers written as strings")
        << "Numbers As Strings" << 22050 << 2 << "0-60:0,61-127:1"
        << "69:1.681793,60:0.594604";
    QTest::newRow("fewer than four elements: no samples") << "Too Short" << 44100 << 0 << "0-127:-1"
                                                          << "";
    QTest::newRow("high note above 127 stops at 127")
        << "High Above Range" << 44100 << 2 << "0-127:0"
        << "";
    QTest::newRow("negative high note changes nothing")
        << "Negative High" << 44100 << 2 << "0-127:1"
        << "";
}

void KPSamplerTest::bankMapping()
{
    QFETCH(QString, bank);
    QFETCH(int, sampleRate);
    QFETCH(int, buffers);
    QFETCH(QString, mapping);
    QFETCH(QString, factors);

    AudioRig rig = AudioRig::withSampler(bank);
    const KPSampler& sampler = rig.sampler();
    QCOMPARE(sampler.soundBankName(), bank);
    QVERIFY(sampler.isInitialized());
    const KPSoundBank::Layout& layout = sampler.layout();
    QCOMPARE(layout.sampleRate, sampleRate);
    QCOMPARE(sampler.bank()->numBuffers(), buffers);
    QCOMPARE(mappingOf(sampler), parseMapping(mapping));
    for (int j = 0; j < buffers; ++j)
        QVERIFY2(sampler.bank()->bufferId(j) != 0, qPrintable(QString::number(j)));
    for (const QString& pair : factors.split(u',', Qt::SkipEmptyParts)) {
        const int note = pair.section(u':', 0, 0).toInt();
        const float factor = pair.section(u':', 1).toFloat();
        const auto& entry = layout.notes[size_t(note)];
        QVERIFY(qAbs(entry.pitch / layout.samples[size_t(entry.bufferIndex)].pitch - factor) <
                1e-4f);
    }
}

void KPSamplerTest::failedBankKeepsTables_data()
{
    QTest::addColumn<QString>("bank");
    QTest::newRow("root note above 127") << "Root Above Range";
    QTest::newRow("negative root note") << "Negative Root";
    QTest::newRow("file name not a string") << "Name Not A String";
    QTest::newRow("sample rate not a number") << "Rate Not A Number";
    QTest::newRow("root is not an array") << "Not An Array";
    QTest::newRow("empty array") << "Empty Array";
    QTest::newRow("no such bank") << "No Such Bank";
}

// The previous bank stays in the tables and sounds on under the new name.
void KPSamplerTest::failedBankKeepsTables()
{
    QFETCH(QString, bank);
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Short Last"));
    KPSampler& sampler = rig.sampler();
    const auto before = mappingOf(sampler);

    const QString path = KPBundle::pathForResource(bank, QStringLiteral("plist"));
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("Could not load soundbank '%1'").arg(path)));
    QVERIFY(sampler.setSoundBank(bank));

    QCOMPARE(sampler.soundBankName(), bank);
    QCOMPARE(sampler.bank()->numBuffers(), 2);
    QCOMPARE(sampler.layout().sampleRate, 44100);
    QCOMPARE(mappingOf(sampler), before);
    // The switch kept the device and made the rest anew.
    QCOMPARE(rig.devicesOpened(), 1);
    // Note 45 is the root of the A4 sample.
    sampler.noteOn(45, 1.0f);
    const auto sound = rig.render(0.2);
    QCOMPARE(qRound(estimatePitch(sound, 44100, 440.0)), 440);
}

void KPSamplerTest::bankWithoutSamplesIsSilent()
{
    AudioRig fresh = AudioRig::withSampler(QStringLiteral("Too Short"));
    fresh.sampler().noteOn(60, 1.0f);
    QCOMPARE(fresh.sampler().source(0).noteIndex, -1);
    QCOMPARE(level(fresh.render(0.1), 0), 0.0);

    // After a bank, the old mapping stays but its buffers are gone: no sound.
    AudioRig after = AudioRig::withSampler(QStringLiteral("Short Last"));
    after.sampler().setSoundBank(QStringLiteral("Too Short"));
    QCOMPARE(after.sampler().bank()->numBuffers(), 0);
    after.sampler().noteOn(60, 1.0f);
    const auto sound = after.render(0.1);
    QCOMPARE(level(sound, 0) + level(sound, 1), 0.0);
}

void KPSamplerTest::sameBankDoesNothing()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    rig.sampler().noteOn(60, 1.0f);
    rig.render(0.05);
    QVERIFY(rig.sampler().setSoundBank(QStringLiteral("Sine Bank")));
    QCOMPARE(rig.state(0), AL_PLAYING);
    QVERIFY(level(rig.render(0.05), 0) > 0.05);
}

void KPSamplerTest::operationsBeforeSetUp_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("queueNote") << 0;
    QTest::newRow("noteOff") << 1;
    QTest::newRow("allNotesOff") << 2;
    QTest::newRow("currentNoteGain") << 3;
    QTest::newRow("changeNoteGain") << 4;
}

void KPSamplerTest::operationsBeforeSetUp()
{
    QFETCH(int, operation);
    KPSampler sampler(AudioRig().opener());
    QTest::ignoreMessage(QtWarningMsg, "KPSampler is not initialized yet");
    switch (operation) {
    case 0:
        sampler.queueNote(60, 1.0f);
        QVERIFY(!sampler.source(0).queued);
        break;
    case 1:
        sampler.noteOff(60);
        break;
    case 2:
        sampler.allNotesOff();
        break;
    case 3:
        QCOMPARE(sampler.currentNoteGain(60), -1.0f);
        break;
    case 4:
        sampler.changeNoteGain(60, 0.5f);
        break;
    }
    QVERIFY(!sampler.isInitialized());
}

// Voices 0 to 31 take notes 24 to 55 in turn; voice 0 is then freed and reused, so the oldest
// voice is 1, not the lowest.
void KPSamplerTest::stealsOldestVoice()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Voices"));
    KPSampler& sampler = rig.sampler();
    for (int note = 24; note < 56; ++note)
        sampler.noteOn(note, 1.0f);
    for (int voice = 0; voice < 32; ++voice)
        QCOMPARE(sampler.source(voice).noteIndex, 24 + voice);
    sampler.noteOff(24);
    sampler.noteOn(56, 1.0f);
    QCOMPARE(sampler.source(0).noteIndex, 56);

    sampler.noteOn(57, 1.0f);
    QCOMPARE(sampler.source(1).noteIndex, 57);
    QCOMPARE(sampler.source(0).noteIndex, 56);
    for (int voice = 0; voice < 32; ++voice)
        QCOMPARE(rig.state(voice), AL_PLAYING);
}

void KPSamplerTest::equalTimesStealLowestIndex_data()
{
    QTest::addColumn<QList<double>>("times");
    QTest::addColumn<int>("stolen");
    QList<double> equal(32, 5.0);
    QTest::newRow("all equal") << equal << 0;
    QList<double> tie(32, 10.0);
    tie[7] = tie[19] = 1.0;
    QTest::newRow("two oldest tie") << tie << 7;
    QList<double> last(32, 10.0);
    last[31] = 0.5;
    QTest::newRow("oldest is the last voice") << last << 31;
}

void KPSamplerTest::equalTimesStealLowestIndex()
{
    QFETCH(QList<double>, times);
    QFETCH(int, stolen);
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Voices"));
    KPSampler& sampler = rig.sampler();
    auto next = std::make_shared<qsizetype>(0);
    sampler.setClock([times, next] { return times.value((*next)++, 100.0); });
    for (int note = 24; note < 56; ++note)
        sampler.noteOn(note, 1.0f);
    sampler.noteOn(58, 1.0f);
    QCOMPARE(sampler.source(stolen).noteIndex, 58);
    QCOMPARE(sampler.source(stolen).time, 100.0);
}

void KPSamplerTest::queuedVoicesAreNotFree()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Voices"));
    KPSampler& sampler = rig.sampler();
    sampler.queueNote(30, 1.0f);
    sampler.queueNote(31, 1.0f);
    sampler.queueNote(32, 1.0f);
    QCOMPARE(sampler.findAvailableSource(), 3);
    QCOMPARE(rig.state(0), AL_INITIAL);

    sampler.playQueuedNotes();
    for (int voice = 0; voice < 32; ++voice) {
        QVERIFY(!sampler.source(voice).queued);
        QCOMPARE(rig.state(voice), voice < 3 ? AL_PLAYING : AL_INITIAL);
    }

    // More than 32 queued before one start: the 33rd takes the oldest queued voice.
    sampler.allNotesOff();
    for (int note = 24; note < 57; ++note)
        sampler.queueNote(note, 1.0f);
    QCOMPARE(sampler.source(0).noteIndex, 56);
    QVERIFY(sampler.source(0).queued);
}

// Voices 7 and 18 play a very short sample and end first.
void KPSamplerTest::endedVoicesAreReusedFirst()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Voices"));
    KPSampler& sampler = rig.sampler();
    int lowNote = 24;
    for (int voice = 0; voice < 32; ++voice)
        sampler.noteOn(voice == 7 ? 60 : voice == 18 ? 61 : lowNote++, 1.0f);
    rig.render(0.3);
    QCOMPARE(rig.state(7), AL_STOPPED);
    QCOMPARE(rig.state(18), AL_STOPPED);

    sampler.noteOn(54, 1.0f);
    sampler.noteOn(55, 1.0f);
    sampler.noteOn(56, 1.0f);
    QCOMPARE(sampler.source(7).noteIndex, 54);
    QCOMPARE(sampler.source(18).noteIndex, 55);
    QCOMPARE(sampler.source(0).noteIndex, 56);
}

void KPSamplerTest::sameNoteTakesAnotherVoice()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Voices"));
    KPSampler& sampler = rig.sampler();
    QCOMPARE(sampler.currentNoteGain(40), 0.0f);
    sampler.noteOn(40, 1.0f);
    sampler.noteOn(40, 1.0f);
    QCOMPARE(sampler.source(0).noteIndex, 40);
    QCOMPARE(sampler.source(1).noteIndex, 40);
    QCOMPARE(rig.state(0), AL_PLAYING);
    QCOMPARE(rig.state(1), AL_PLAYING);

    alSourcef(sampler.source(0).sourceId(), AL_GAIN, 0.3f);
    alSourcef(sampler.source(1).sourceId(), AL_GAIN, 0.7f);
    QCOMPARE(sampler.currentNoteGain(40), 0.7f);
    sampler.changeNoteGain(40, 0.25f);
    ALfloat gain = 0;
    alGetSourcef(sampler.source(0).sourceId(), AL_GAIN, &gain);
    QCOMPARE(gain, 0.25f);

    sampler.noteOff(40);
    QCOMPARE(rig.state(0), AL_STOPPED);
    QCOMPARE(rig.state(1), AL_STOPPED);
    QCOMPARE(sampler.source(0).noteIndex, 40);
}

// A voice taken over by another note no longer answers to the old one.
void KPSamplerTest::noteOffFollowsTheVoice()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Voices"));
    KPSampler& sampler = rig.sampler();
    for (int note = 24; note < 56; ++note)
        sampler.noteOn(note, 1.0f);
    sampler.noteOn(56, 0.5f);
    QCOMPARE(sampler.source(0).noteIndex, 56);
    QCOMPARE(sampler.currentNoteGain(24), 0.0f);
    sampler.noteOff(24);
    QCOMPARE(rig.state(0), AL_PLAYING);
    QCOMPARE(sampler.currentNoteGain(56), 0.5f);
}

void KPSamplerTest::queuedNotesStartTogether()
{
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    for (int i = 0; i < 3; ++i) {
        rig.sampler().queueNote(60, 1.0f);
        rig.render(0.01);
    }
    rig.sampler().playQueuedNotes();
    rig.render(0.05);
    ALint offsets[3] = {};
    for (int voice = 0; voice < 3; ++voice)
        alGetSourcei(rig.sampler().source(voice).sourceId(), AL_SAMPLE_OFFSET, &offsets[voice]);
    QVERIFY(offsets[0] > 0);
    QCOMPARE(offsets[1], offsets[0]);
    QCOMPARE(offsets[2], offsets[0]);
    QCOMPARE(rig.state(3), AL_INITIAL);
}

void KPSamplerTest::failedSamples_data()
{
    QTest::addColumn<QString>("bank");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QString>("logged");
    QTest::newRow("sample with three channels")
        << "Three Channels"
        << "LoadAudioFileData: Unsupported format, channel count is greater than stereo\n"
        << "Error loading sound";
    QTest::newRow("sample file missing, logged with where it was looked for")
        << "Missing Sample"
        << ""
        << "Could not find file '<root>/no_such_sample.wav'";
}

// A bank is loaded whole or not at all: the sampler says so and plays nothing until a bank loads.
void KPSamplerTest::failedSamples()
{
    QFETCH(QString, bank);
    QFETCH(QString, printed);
    QFETCH(QString, logged);
    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    KPSampler& sampler = rig.sampler();
    sampler.noteOn(60, 1.0f);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(logged.replace(QStringLiteral("<root>"),
                                                                 KPBundle::resourceRoot())));
    StdoutCapture capture;
    QVERIFY(!sampler.setSoundBank(bank));
    QCOMPARE(capture.text(), printed);
    QVERIFY(!sampler.isInitialized());
    // What sounded fades out over the first few milliseconds.
    QCOMPARE(level(rig.render(0.05), 0, 441), 0.0);

    QVERIFY(sampler.setSoundBank(QStringLiteral("Sine Bank")));
    sampler.noteOn(60, 1.0f);
    QVERIFY(level(rig.render(0.05), 0) > 0.05);
}

// Without a sound card notes still start, advance in real time and end; one line says so.
void KPSamplerTest::silentOutputWithoutSoundCard()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KP_SAMPLER_CHILD"), KPBundle::resourceRoot());
    // No JACK, PipeWire or ALSA device to be found, whatever this machine has.
    environment.insert(QStringLiteral("JACK_DEFAULT_SERVER"), QStringLiteral("kp-none"));
    environment.insert(QStringLiteral("PIPEWIRE_REMOTE"), QStringLiteral("/nonexistent/pipewire"));
    environment.insert(QStringLiteral("ALSA_CONFIG_PATH"), QStringLiteral("/dev/null"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()),
             QStringLiteral("playing\nended\nplaying again\n"));
    QCOMPARE(QString::fromUtf8(child.readAllStandardError())
                 .count(QStringLiteral("KPAudioDevice: No audio device could be opened, "
                                       "playing into a silent output")),
             1);
}

void KPSamplerTest::noteStartsOnItsFrame_data()
{
    QTest::addColumn<int>("frame");
    QTest::newRow("the second frame") << 1;
    QTest::newRow("inside a glide step") << 37;
    QTest::newRow("a block's edge") << 64;
    QTest::newRow("inside a later render") << 5003;
}

// A note given a frame sounds from that frame on exactly as one started at frame 0 does; a stop
// given a frame ends it there, in the middle of a render.
void KPSamplerTest::noteStartsOnItsFrame()
{
    QFETCH(int, frame);
    AudioRig reference = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    reference.sampler().noteOn(60, 1.0f);
    const auto expected = reference.render(0.2);

    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    const int64_t start = rig.device()->framesMixed() + frame;
    rig.sampler().noteOn(60, 1.0f, start);
    rig.sampler().noteOff(60, start + 2000);
    std::vector<float> sound = rig.render(0.05);
    const auto rest = rig.render(0.15);
    sound.insert(sound.end(), rest.begin(), rest.end());
    QCOMPARE(level(sound, 0, 0, size_t(frame)), 0.0);
    for (size_t i = 0; i < 2000; ++i) {
        const size_t at = size_t(frame) + i;
        QVERIFY2(std::abs(sound[2 * at] - expected[2 * i]) < 1e-6f, qPrintable(QString::number(i)));
    }
    QVERIFY(level(sound, 0, size_t(frame) + 1990, 10) > 0.01);
    QCOMPARE(level(sound, 0, size_t(frame) + 2000), 0.0);
}

// An event of the cycle being rendered (as a JACK process callback reads MIDI) starts its note
// at its own frame of that cycle.
void KPSamplerTest::cycleEventStartsOnItsFrame()
{
    AudioRig reference = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    reference.sampler().noteOn(60, 1.0f);
    const auto expected = reference.render(0.01);

    AudioRig rig = AudioRig::withSampler(QStringLiteral("Sine Bank"));
    rig.render(0.01);
    const KPNoteEvent event{KPNoteEvent::Kind::NoteOn, 60, 1.0f, 0, 100};
    std::vector<float> cycle(2 * 256);
    QVERIFY(rig.device()->tryRender(cycle.data(), 256, std::span(&event, 1)));
    QCOMPARE(level(cycle, 0, 0, 100), 0.0);
    for (size_t i = 0; i < 156; ++i)
        QVERIFY2(std::abs(cycle[2 * (100 + i)] - expected[2 * i]) < 1e-6f,
                 qPrintable(QString::number(i)));
}

// Runs in a child process, where no output device can be opened.
static int playWithoutSoundCard()
{
    KPBundle::setResourceRoot(qEnvironmentVariable("KP_SAMPLER_CHILD"));
    KPSampler sampler;
    sampler.setSoundBank(QStringLiteral("Voices"));
    auto stateOf = [&](int voice) {
        ALint state = 0;
        alGetSourcei(sampler.source(voice).sourceId(), AL_SOURCE_STATE, &state);
        return state;
    };
    // The output's own thread starts a note at the next frame it renders.
    auto startsPlaying = [&] {
        for (int tries = 0; tries < 50 && stateOf(0) != AL_PLAYING; ++tries)
            QThread::msleep(1);
        return stateOf(0) == AL_PLAYING;
    };
    // Note 60 plays a 0.1 s sample.
    sampler.noteOn(60, 1.0f);
    if (startsPlaying())
        printf("playing\n");
    QThread::msleep(400);
    if (stateOf(0) == AL_STOPPED)
        printf("ended\n");
    sampler.setSoundBank(QStringLiteral("Sine Bank"));
    sampler.noteOn(60, 1.0f);
    if (startsPlaying())
        printf("playing again\n");
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsSet("KP_SAMPLER_CHILD"))
        return playWithoutSoundCard();
    KPSamplerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sampler.moc"
