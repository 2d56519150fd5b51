// The PipeWire output, on a server of the test's own with a null sink: the device opens and says
// so, and a note played through it is heard on the sink's monitor at its pitch in both
// channels. A piano playing to PipeWire moves on when the server is killed and goes on playing,
// and plays to PipeWire again when the server comes back.

#include "audio/KPAudioOutput.h"
#include "audio/KPPipeWireDevice.h"
#include "audio/KPSoundPlayer.h"

#include "KPAudioTestRig.h"
#include "KPLogCapture.h"
#include "KPPipeWireServer.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <cstring>

namespace {

constexpr int kRate = 48000;

// The null sink's monitor while a note sounds: `frames` frames of stereo at 48 kHz, from when
// the capture first hears something (its stream starts before the note).
std::vector<float> hear(KPSoundPlayer& player, int frames)
{
    QProcess capture;
    capture.setStandardErrorFile(QProcess::nullDevice());
    capture.start(
        QStringLiteral("parec"),
        {QStringLiteral("--device=%1.monitor").arg(QLatin1String(KPPipeWireServer::kSink)),
         QStringLiteral("--raw"), QStringLiteral("--format=float32le"),
         QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=2")});
    if (!capture.waitForStarted())
        return {};
    std::vector<float> heard;
    QByteArray pending;
    player.play(69);
    const size_t wanted = size_t(frames) * 2;
    while (heard.size() < wanted && capture.waitForReadyRead(10000)) {
        pending += capture.readAll();
        const qsizetype whole = pending.size() / qsizetype(sizeof(float));
        size_t at = heard.size();
        heard.resize(at + size_t(whole));
        std::memcpy(heard.data() + at, pending.constData(), size_t(whole) * sizeof(float));
        pending.remove(0, whole * qsizetype(sizeof(float)));
        // Silence before the note reaches the sink is not counted.
        if (at == 0) {
            const auto first = std::find_if(heard.begin(), heard.end(),
                                            [](float sample) { return std::abs(sample) > 1e-3f; });
            heard.erase(heard.begin(), first - (first - heard.begin()) % 2);
        }
    }
    player.stop(69);
    capture.kill();
    capture.waitForFinished();
    heard.resize(std::min(heard.size(), wanted));
    return heard;
}

bool heard(KPSoundPlayer& player)
{
    return KPAudioTest::level(hear(player, kRate / 4), 0) > 0.02;
}

} // namespace

class TestPipeWireDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A JACK server of another test would take the sound first.
        qputenv("JACK_DEFAULT_SERVER", "touchpiano-no-such-server");
        m_server = std::make_unique<KPPipeWireServer>();
        if (!m_server->isRunning())
            QSKIP(qPrintable(m_server->error()));
        QVERIFY(m_resources.isValid());
    }

    void opensAndSaysSo()
    {
        KPLogCapture log;
        const std::unique_ptr<KPPipeWireDevice> device = KPPipeWireDevice::open();
        QVERIFY(device);
        QCOMPARE(log.lines(QStringLiteral("KPPipeWireDevice: sound goes to PipeWire")).size(), 1);
        QVERIFY(!device->isLost());
    }

    void noteIsHeardAtItsPitchInBothChannels()
    {
        std::shared_ptr<KPAudioDevice> device = KPPipeWireDevice::open();
        QVERIFY(device);
        KPSoundPlayer player([&device] { return device; });
        const std::vector<float> sound = hear(player, kRate / 2);
        QCOMPARE(sound.size(), size_t(kRate));
        QCOMPARE_GT(KPAudioTest::level(sound, 0), 0.02);
        QCOMPARE_GT(KPAudioTest::level(sound, 1), 0.02);
        const double pitch = KPAudioTest::estimatePitch(sound, kRate, 440.0, kRate / 20);
        QVERIFY2(std::abs(KPAudioTest::cents(pitch, 440.0)) < 5,
                 qPrintable(QString::number(pitch)));
    }

    // Last: it kills the server and starts it again.
    void pianoPlaysOnAcrossAServerRestart()
    {
        KPAudioOutput output;
        KPSoundPlayer player([&output] { return output.device(); });
        connect(&output, &KPAudioOutput::deviceChanged, this,
                [&player] { player.sampler().changeDevice(); });
        QSignalSpy lost(&output, &KPAudioOutput::outputLost);
        QVERIFY(heard(player));

        player.play(69);
        m_server->kill();
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 10000);
        QCOMPARE(lost.first().first().toString(), QStringLiteral("PipeWire"));
        player.play(69);
        QTRY_COMPARE(player.sampler().playingVoiceCount(), 1);

        QVERIFY2(m_server->start(), qPrintable(m_server->error()));
        output.check();
        if (!lost.first().at(1).toBool())
            QSKIP("ALSA's default device plays here: the sound stays there");
        QVERIFY(heard(player));
        QCOMPARE(lost.size(), 1);
    }

private:
    KPAudioTest::FixtureResources m_resources;
    std::unique_ptr<KPPipeWireServer> m_server;
};

QTEST_GUILESS_MAIN(TestPipeWireDevice)
#include "tst_pipewiredevice.moc"
