// The JACK output, on a dummy server of the test's own: the mix reaches the client's ports, at
// the server's rate whatever a context asks for, held below full scale; a paused device is
// silent; without a server there is no device. A piano playing to JACK goes on playing when
// the server is killed, and plays to JACK again when a server is started anew.

#include "audio/KPAudioHandles.h"
#include "audio/KPAudioOutput.h"
#include "audio/KPJackDevice.h"

#define AL_ALEXT_PROTOTYPES
#include "KPAudioTestRig.h"
#include "KPJackListener.h"
#include "KPJackServer.h"
#include <AL/alext.h>

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <span>

namespace {

constexpr int kRate = 48000;

// A looping 1 kHz tone at 44.1 kHz on its own context, current on this thread while it lives
// (the source and buffer go before the context).
struct Tone
{
    explicit Tone(KPJackDevice& device) : context(device.createContext(44100))
    {
        alcSetThreadContext(context.get());
        std::vector<short> wave(44100);
        for (size_t i = 0; i < wave.size(); ++i)
            wave[i] = short(8000 * std::sin(2 * std::numbers::pi * 1000 * double(i) / 44100));
        buffer = KPALBuffer::generate();
        alBufferData(buffer.id(), AL_FORMAT_MONO16, wave.data(), ALsizei(wave.size() * 2), 44100);
        source = KPALSource::generate();
        alSourcei(source.id(), AL_BUFFER, ALint(buffer.id()));
        alSourcei(source.id(), AL_LOOPING, AL_TRUE);
        alSourcePlay(source.id());
    }
    KPALContextPtr context;
    KPALBuffer buffer;
    KPALSource source;
};

// A MIDI port of sorts: a press in each of the first `kPresses` cycles it reads.
struct Presses
{
    static constexpr int kPresses = 400;
    static size_t read(void* self, uint32_t /*frames*/, std::span<KPNoteEvent> out)
    {
        auto* presses = static_cast<Presses*>(self);
        if (presses->sent == kPresses || out.empty())
            return 0;
        out[0] = {KPNoteEvent::Kind::NoteOn, 60, 1.0f, 0, 0};
        ++presses->sent;
        return 1;
    }
    std::atomic<int> sent = 0;
};

// Counts the presses that reach the mix.
struct Voices : KPRenderClient
{
    void accept(const KPNoteEvent& event) override
    {
        if (event.kind == KPNoteEvent::Kind::NoteOn)
            ++struck;
    }
    int64_t renderAt(int64_t /*frame*/, int64_t end) override { return end; }
    std::atomic<int> struck = 0;
};

} // namespace

class TestJackDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<KPJackServer>(64, kRate);
        if (!m_server->isRunning())
            QSKIP(qPrintable(m_server->error()));
    }

    void withoutServerThereIsNone()
    {
        qputenv("JACK_DEFAULT_SERVER", "touchpiano-no-such-server");
        QVERIFY(!KPJackDevice::open());
        qputenv("JACK_DEFAULT_SERVER", m_server->name().toUtf8());
    }

    void mixesAtTheServerRateUntilPaused()
    {
        std::unique_ptr<KPJackDevice> device = KPJackDevice::open();
        QVERIFY(device);
        Tone tone(*device);

        auto sounding = std::make_unique<KPJackListener>(kRate / 4);
        QVERIFY(sounding->isReady());
        QTRY_VERIFY_WITH_TIMEOUT(sounding->full(), 10000);
        const std::vector<float>& heard = sounding->heard();
        // The tone at the output's master gain, after the few cycles before the listener first
        // hears the output.
        QCOMPARE_GT(KPAudioTest::level(heard, 0), 0.02);
        QCOMPARE_GT(KPAudioTest::level(heard, 1), 0.02);
        const double pitch = KPAudioTest::estimatePitch(heard, kRate, 1000, kRate / 24, kRate / 6);
        QVERIFY2(std::abs(KPAudioTest::cents(pitch, 1000)) < 5, qPrintable(QString::number(pitch)));

        device->pause();
        auto paused = std::make_unique<KPJackListener>(kRate / 10);
        QTRY_VERIFY_WITH_TIMEOUT(paused->full(), 10000);
        QCOMPARE(KPAudioTest::level(paused->heard(), 0), 0.0);
    }

    // The sound card's integer samples would clip what goes beyond.
    // A cycle mixed while a context is being made is silent; its presses sound in the next one.
    void pressesOutlastACycleThatCouldNotMix()
    {
        std::unique_ptr<KPJackDevice> device = KPJackDevice::open();
        QVERIFY(device);
        Voices voices;
        Presses presses;
        device->addRenderClient(&voices);
        device->setCycleEventReader(&Presses::read, &presses);
        while (presses.sent < Presses::kPresses) {
            // Made and let go at once: the mix waits for both.
            const KPALContextPtr context = device->createContext(44100);
        }
        device->setCycleEventReader(nullptr, nullptr);
        QTRY_COMPARE(voices.struck.load(), Presses::kPresses);
        device->removeRenderClient(&voices);
    }

    void holdsLoudMixesBelowFullScale()
    {
        std::unique_ptr<KPJackDevice> device = KPJackDevice::open();
        QVERIFY(device);
        Tone tone(*device);
        // The tone's peaks reach about twice full scale.
        alListenerf(AL_GAIN, 8.0f);

        KPJackListener listener(kRate / 4);
        QVERIFY(listener.isReady());
        QTRY_VERIFY_WITH_TIMEOUT(listener.full(), 10000);
        const auto [lowest, highest] =
            std::minmax_element(listener.heard().begin(), listener.heard().end());
        QCOMPARE_LE(std::max(-*lowest, *highest), 1.0f);
        QCOMPARE_GT(KPAudioTest::level(listener.heard(), 0), 0.3);
    }

    // Last: it kills the server and starts another.
    void pianoPlaysOnAcrossAServerRestart()
    {
        KPAudioTest::FixtureResources resources;
        QVERIFY(resources.isValid());
        KPAudioOutput output;
        KPSoundPlayer player([&output] { return output.device(); });
        connect(&output, &KPAudioOutput::deviceChanged, this,
                [&player] { player.sampler().changeDevice(); });
        QSignalSpy lost(&output, &KPAudioOutput::outputLost);
        QVERIFY(output.playsToJack());
        QVERIFY(heardOnJack(player));

        player.play(69);
        m_server.reset();
        QTRY_COMPARE(lost.size(), 1);
        QCOMPARE(lost.first().first().toString(), QStringLiteral("JACK"));
        QVERIFY(!output.playsToJack());
        QCOMPARE(player.sampler().playingVoiceCount(), 0);
        player.play(69);
        QTRY_COMPARE(player.sampler().playingVoiceCount(), 1);
        output.check();
        QCOMPARE(lost.size(), 1);

        m_server = std::make_unique<KPJackServer>(64, kRate);
        QVERIFY(m_server->isRunning());
        output.check();
        QVERIFY(output.playsToJack());
        QCOMPARE(player.sampler().playingVoiceCount(), 0);
        QVERIFY(heardOnJack(player));
        QCOMPARE(lost.size(), 1);
    }

private:
    // A note played now reaches the output's JACK ports.
    static bool heardOnJack(KPSoundPlayer& player)
    {
        KPJackListener listener(kRate / 4);
        if (!listener.isReady())
            return false;
        player.play(69);
        if (!QTest::qWaitFor([&listener] { return listener.full(); }, 10000))
            return false;
        player.stop(69);
        return KPAudioTest::level(listener.heard(), 0) > 0.05;
    }

    std::unique_ptr<KPJackServer> m_server;
};

QTEST_GUILESS_MAIN(TestJackDevice)
#include "tst_jackdevice.moc"
