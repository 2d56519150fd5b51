#include "audio/KPJackDevice.h"
#include "audio/KPSoundPlayer.h"
#include "KPAudioTestRig.h"
#include "KPJackListener.h"
#include "KPJackMidiDevice.h"
#include "KPJackServer.h"
#include "midi/KPMidiDecoder.h"
#include "midi/KPMidiInbox.h"
#include "midi/KPMidiInput.h"
#include "midi/KPMidiOutput.h"
#include "performer/KPNotePerformer.h"

#include <QSignalSpy>
#include <QTest>

#include <RtMidi.h>

#include <functional>
#include <memory>
#include <thread>

namespace {

// "90 3C 64 | 80 3C 00": messages in hexadecimal, split by '|'.
QList<std::vector<uint8_t>> parseMessages(const QString& text)
{
    QList<std::vector<uint8_t>> messages;
    for (const QString& messageText : text.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        std::vector<uint8_t> bytes;
        for (const QString& byte : messageText.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            bytes.push_back(uint8_t(byte.toUInt(nullptr, 16)));
        messages << bytes;
    }
    return messages;
}

// Starts the input and collects what it plays, in order: "press 60 100", "release 60".
class KeyLog : public QObject
{
public:
    explicit KeyLog(KPMidiInput& input)
    {
        connect(&input, &KPMidiInput::keyPressed, this, [this](uint32_t note, uint8_t velocity) {
            keys << QStringLiteral("press %1 %2").arg(note).arg(velocity);
        });
        connect(&input, &KPMidiInput::keyReleased, this,
                [this](uint32_t note) { keys << QStringLiteral("release %1").arg(note); });
        input.start();
    }
    QStringList keys;
};

int portNamed(RtMidiOut& output, const std::string& prefix)
{
    for (unsigned i = 0; i < output.getPortCount(); ++i) {
        if (output.getPortName(i).starts_with(prefix))
            return int(i);
    }
    return -1;
}

void sendNote(RtMidiOut& output, uint8_t status, uint8_t note, uint8_t velocity)
{
    const std::vector<unsigned char> message{status, note, velocity};
    output.sendMessage(&message);
}

// A new JACK connection carries messages from the next cycle on: knock until one arrives (the
// one expected, when named: others may still be on their way).
bool knockUntilHeard(const std::function<void()>& knock, KeyLog& log,
                     const QString& expected = QString())
{
    auto heard = [&] {
        return expected.isEmpty() ? !log.keys.isEmpty() : log.keys.contains(expected);
    };
    for (int tries = 0; tries < 200 && !heard(); ++tries) {
        knock();
        QTest::qWait(25);
    }
    const bool wasHeard = heard();
    log.keys.clear();
    return wasHeard;
}

// What the key pictures are told: "press 60", "release 60".
class ToldKeys : public KPNoteListener
{
public:
    void notePressed(KPNoteSource, uint32_t note, uint8_t) override
    {
        keys << QStringLiteral("press %1").arg(note);
    }
    void noteReleased(KPNoteSource, uint32_t note, bool) override
    {
        keys << QStringLiteral("release %1").arg(note);
    }
    QStringList keys;
};

// Our JACK output with an instrument on it (the fixture banks), so that its cycles mix.
struct JackOutput
{
    std::shared_ptr<KPJackDevice> device;
    std::unique_ptr<KPSoundPlayer> player;
};

JackOutput openJackOutput()
{
    const KPAudioTest::FixtureResources resources;
    std::shared_ptr<KPJackDevice> device = KPJackDevice::open();
    if (!resources.isValid() || !device)
        return {};
    return {device, std::make_unique<KPSoundPlayer>([device] { return device; })};
}

} // namespace

#define SKIP_WITHOUT_JACK()                                                                        \
    if (!m_jack->isRunning())                                                                      \
        QSKIP(qPrintable(QStringLiteral("no JACK server for a real MIDI port: ") +                 \
                         m_jack->error()));

class TestMidi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decoding_data();
    void decoding();
    void outputStrikesNoPercussion();
    void fullInboxDropsAndCounts();
    void inboxHandsOverBetweenThreads();
    void playsFromTheVirtualPortAcrossThreads();
    void devicesAreOpenedAsTheyComeAndClosedAsTheyGo();
    void floodFromClientsThatComeAndGo();
    void sessionsComeAndGoDuringAFlood();
    void pressSoundsAtItsFrameOnTheJackOutput();
    void outputWritesEachMessageAtItsFrame();
    void serverGoneReleasesHeldKeys();

private:
    std::unique_ptr<KPJackServer> m_jack;
};

void TestMidi::initTestCase()
{
    m_jack = std::make_unique<KPJackServer>();
}

void TestMidi::decoding_data()
{
    QTest::addColumn<QString>("messages");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("note-on presses at its velocity") << "90 3C 64" << QStringList{"press 60 100"};
    QTest::newRow("note-off releases") << "80 3C 40" << QStringList{"release 60"};
    QTest::newRow("note-on at velocity 0 releases") << "90 3C 00" << QStringList{"release 60"};
    QTest::newRow("any channel plays")
        << "9F 3C 7F | 8F 3C 00" << QStringList{"press 60 127", "release 60"};
    QTest::newRow("the percussion channel, notes and pedal, does nothing")
        << "99 3C 64 | 89 3C 00 | B9 40 7F | 90 3E 64 | 80 3E 00"
        << QStringList{"press 62 100", "release 62"};
    QTest::newRow("C1 and B7 are the ends")
        << "90 18 01 | 90 6B 40" << QStringList{"press 24 1", "press 107 64"};
    QTest::newRow("notes beyond the keyboard do nothing")
        << "90 17 64 | 90 6C 64 | 80 00 00" << QStringList{};
    QTest::newRow("other messages do nothing")
        << "B0 07 64 | E0 00 40 | C0 05 | A0 3C 40 | D0 40 | F8" << QStringList{};
    QTest::newRow("short or broken messages do nothing")
        << "90 3C | 90 80 64 | 90 3C 64 00" << QStringList{};
    QTest::newRow("the pedal holds releases until it lifts")
        << "B0 40 7F | 90 3C 64 | 90 40 64 | 80 3C 00 | 80 40 00 | B0 40 00"
        << QStringList{"press 60 100", "press 64 100", "release 60", "release 64"};
    QTest::newRow("pedal below 64 is up")
        << "B0 40 3F | 90 3C 64 | 80 3C 00" << QStringList{"press 60 100", "release 60"};
    QTest::newRow("a note struck again under the pedal waits for its own release")
        << "B0 40 40 | 90 3C 64 | 80 3C 00 | 90 3C 50 | B0 40 00 | 80 3C 00"
        << QStringList{"press 60 100", "press 60 80", "release 60"};
}

void TestMidi::decoding()
{
    QFETCH(QString, messages);
    QFETCH(QStringList, keys);
    KPMidiDecoder decoder;
    QList<KPMidiKeyEvent> events;
    for (const std::vector<uint8_t>& message : parseMessages(messages))
        decoder.decode(message, events);
    QStringList decoded;
    for (const KPMidiKeyEvent& event : events)
        decoded << (event.isRelease()
                        ? QStringLiteral("release %1").arg(event.note)
                        : QStringLiteral("press %1 %2").arg(event.note).arg(event.velocity));
    QCOMPARE(decoded, keys);
}

// The JACK output strikes presses before they are decoded: a drum must not sound there either.
void TestMidi::outputStrikesNoPercussion()
{
    QVERIFY(KPMidiDecoder::isPress(std::vector<uint8_t>{0x90, 60, 100}));
    QVERIFY(!KPMidiDecoder::isPress(std::vector<uint8_t>{0x99, 60, 100}));
}

void TestMidi::fullInboxDropsAndCounts()
{
    KPMidiInbox inbox(2);
    const std::vector<uint8_t> note{0x90, 0x3C, 0x64};
    QCOMPARE(inbox.push(note), KPMidiInbox::Push::First);
    QCOMPARE(inbox.push(note), KPMidiInbox::Push::Queued);
    QCOMPARE(inbox.push(note), KPMidiInbox::Push::Dropped);
    std::vector<KPMidiInbox::Message> taken;
    QCOMPARE(inbox.takeAll(taken), size_t(1));
    QCOMPARE(taken.size(), size_t(2));
    QCOMPARE(inbox.push(note), KPMidiInbox::Push::First);
}

// Under ThreadSanitizer this fails on any unguarded access between writer and reader.
void TestMidi::inboxHandsOverBetweenThreads()
{
    KPMidiInbox inbox(64);
    constexpr int kMessages = 20000;
    std::thread writer([&inbox] {
        for (int i = 0; i < kMessages; ++i) {
            const std::vector<uint8_t> message{0x90, uint8_t(i % 128), uint8_t(i / 128 % 128)};
            while (inbox.push(message) == KPMidiInbox::Push::Dropped)
                std::this_thread::yield();
        }
    });
    std::vector<KPMidiInbox::Message> taken;
    int received = 0;
    bool inOrder = true;
    while (received < kMessages) {
        inbox.takeAll(taken);
        for (const KPMidiInbox::Message& message : taken) {
            inOrder = inOrder && message.bytes[1] == received % 128 &&
                      message.bytes[2] == received / 128 % 128;
            ++received;
        }
    }
    writer.join();
    QVERIFY(inOrder);
}

// Messages come on JACK's thread and are played on this one; under ThreadSanitizer this also
// proves the hand-over free of data races.
void TestMidi::playsFromTheVirtualPortAcrossThreads()
{
    SKIP_WITHOUT_JACK();
    KPMidiInput input;
    KeyLog log(input);
    // On a loaded machine the server may take a look or two (every 2 s) to take the client.
    QTRY_VERIFY_WITH_TIMEOUT(
        input.portsInUse().contains(QStringLiteral("JACK: Touch Piano (virtual)")), 10000);

    RtMidiOut keyboard(RtMidi::UNIX_JACK, "Test Keyboard");
    const int port = portNamed(keyboard, "Touch Piano:");
    QVERIFY(port >= 0);
    keyboard.openPort(unsigned(port));
    QVERIFY(knockUntilHeard([&keyboard] { sendNote(keyboard, 0x80, 24, 0); }, log));

    // Bursts of ten notes, each sent again should JACK drop it: an overloaded server skips a late
    // client's cycle, and its events with it.
    constexpr int kBursts = 10;
    QStringList expected;
    for (int burst = 0; burst < kBursts; ++burst) {
        QStringList sent;
        for (int i = burst * 10; i < burst * 10 + 10; ++i) {
            const auto note = uint8_t(24 + i % 84);
            sent << QStringLiteral("press %1 %2").arg(note).arg(1 + i % 127)
                 << QStringLiteral("release %1").arg(note);
        }
        for (int attempt = 0; attempt < 5 && log.keys.size() < expected.size() + sent.size();
             ++attempt) {
            log.keys = log.keys.mid(0, expected.size());
            for (int i = burst * 10; i < burst * 10 + 10; ++i) {
                sendNote(keyboard, 0x90, uint8_t(24 + i % 84), uint8_t(1 + i % 127));
                sendNote(keyboard, 0x90, uint8_t(24 + i % 84), 0);
            }
            // The loop's condition judges the wait.
            (void)QTest::qWaitFor([&] { return log.keys.size() >= expected.size() + sent.size(); },
                                  3000);
        }
        expected << sent;
    }
    QCOMPARE(log.keys, expected);
}

// A program's port is left to connect to ours: opened as well, its notes would sound twice. The
// listing shows both with what is connected; a keyboard cut off stays off until it is connected
// again, and one that goes leaves the listing.
void TestMidi::devicesAreOpenedAsTheyComeAndClosedAsTheyGo()
{
    SKIP_WITHOUT_JACK();
    KPMidiInput input;
    KeyLog log(input);
    RtMidiOut program(RtMidi::UNIX_JACK, "Program");
    program.openVirtualPort("out");
    auto keyboard = std::make_unique<KPJackMidiDevice>();
    QVERIFY(keyboard->isOpen());
    QSignalSpy changed(&input, &KPMidiInput::portsChanged);
    QTest::ignoreMessage(QtInfoMsg, "KPMidiInput: playing from JACK port \"Test Keyboard:out\"");
    input.refreshPorts();
    QCOMPARE(input.portsInUse(),
             (QStringList{"JACK: Touch Piano (virtual)", "JACK: Test Keyboard:out"}));
    QVERIFY(knockUntilHeard([&keyboard] { keyboard->send({0x80, 24, 0}); }, log));
    keyboard->send({0x90, 48, 90});
    QTRY_COMPARE(log.keys, QStringList{"press 48 90"});
    const auto listed = [&input](const std::string& name) {
        for (const KPMidiInput::Port& port : input.ports()) {
            if (port.name == name)
                return QStringLiteral("%1 %2 %3")
                    .arg(port.system, port.device ? "keyboard" : "program",
                         port.connected ? "connected" : "off");
        }
        return QStringLiteral("not listed");
    };
    QCOMPARE(changed.size(), 1);
    QCOMPARE(listed("Test Keyboard:out"), QStringLiteral("JACK keyboard connected"));
    QCOMPARE(listed("Program:out"), QStringLiteral("JACK program off"));

    QVERIFY(input.setConnected(QStringLiteral("JACK"), "Program:out", true));
    QCOMPARE(listed("Program:out"), QStringLiteral("JACK program connected"));
    QVERIFY(input.setConnected(QStringLiteral("JACK"), "Test Keyboard:out", false));
    input.refreshPorts();
    QCOMPARE(listed("Test Keyboard:out"), QStringLiteral("JACK keyboard off"));
    QCOMPARE(input.portsInUse(), QStringList{"JACK: Touch Piano (virtual)"});
    QCOMPARE(changed.size(), 3);
    QVERIFY(input.setConnected(QStringLiteral("JACK"), "Test Keyboard:out", true));
    QCOMPARE(listed("Test Keyboard:out"), QStringLiteral("JACK keyboard connected"));

    keyboard.reset();
    QTest::ignoreMessage(QtWarningMsg, "KPMidiInput: JACK port \"Test Keyboard:out\" is gone");
    input.refreshPorts();
    input.refreshPorts();
    QCOMPARE(input.portsInUse(), QStringList{"JACK: Touch Piano (virtual)"});
    QCOMPARE(listed("Test Keyboard:out"), QStringLiteral("not listed"));
    QTest::ignoreMessage(QtWarningMsg,
                         "KPMidiInput: cannot connect JACK port \"Test Keyboard:out\"");
    QVERIFY(!input.setConnected(QStringLiteral("JACK"), "Test Keyboard:out", true));
}

// 20,000 notes from one keyboard while others connect and close and the ports are looked at
// again: under ThreadSanitizer any race between JACK's thread and ours fails it, and the input
// plays on afterwards.
void TestMidi::floodFromClientsThatComeAndGo()
{
    SKIP_WITHOUT_JACK();
    KPMidiInput input;
    KeyLog log(input);
    auto flood = std::make_unique<KPJackMidiDevice>("Flood");
    input.refreshPorts();
    QVERIFY(knockUntilHeard([&flood] { flood->send({0x80, 24, 0}); }, log));
    constexpr int kNotes = 20000;
    // Within what the keyboard's queue holds between two cycles.
    constexpr int kBurst = 250;
    for (int sent = 0; sent < kNotes; sent += kBurst) {
        KPJackMidiDevice visitor(qPrintable(QStringLiteral("Visitor %1").arg(sent / kBurst)));
        input.refreshPorts();
        for (int i = sent; i < sent + kBurst; ++i) {
            flood->send({0x90, uint8_t(24 + i % 84), 100});
            flood->send({0x80, uint8_t(24 + i % 84), 0});
            visitor.send({0x90, uint8_t(24 + i % 84), 1});
        }
        QTest::qWait(10);
    }
    flood.reset();
    input.refreshPorts();
    QTRY_VERIFY(log.keys.size() > kNotes / 2);

    // It plays on: a keyboard that comes now is heard.
    KPJackMidiDevice keyboard;
    input.refreshPorts();
    QVERIFY(knockUntilHeard(
        [&keyboard] {
            keyboard.send({0x90, 60, 64});
        },
        log, QStringLiteral("press 60 64")));
}

// Inputs opening and closing while a keyboard floods their port: each plays, none crashes, and
// under ThreadSanitizer no race between JACK's thread and ours.
void TestMidi::sessionsComeAndGoDuringAFlood()
{
    SKIP_WITHOUT_JACK();
    KPJackMidiDevice flood("Flood");
    const auto burst = [&flood] {
        for (int i = 0; i < 50; ++i) {
            flood.send({0x90, uint8_t(24 + i), 100});
            flood.send({0x80, uint8_t(24 + i), 0});
        }
    };
    // Each session ends as soon as it hears the flood, in its midst.
    for (int session = 0; session < 100; ++session) {
        KPMidiInput input;
        KeyLog log(input);
        QVERIFY(knockUntilHeard(burst, log));
        burst();
    }
}

// Read in the JACK output's own cycle, a press from another client sounds in the cycle it arrives
// in, from its own frame, and the performer is told of it once, as sounded already. Its release
// does not end the note while a touch holds it.
void TestMidi::pressSoundsAtItsFrameOnTheJackOutput()
{
    SKIP_WITHOUT_JACK();
    const JackOutput jack = openJackOutput();
    QVERIFY(jack.player);
    const std::shared_ptr<KPJackDevice>& output = jack.device;
    KPSoundPlayer& player = *jack.player;
    KPNotePerformer performer(player);
    ToldKeys told;
    performer.addListener(&told);
    KPMidiInput input;
    connect(&input, &KPMidiInput::keyPressed, this,
            [&performer](uint32_t note, uint8_t velocity, bool sounded) {
                performer.noteOn(KPNoteSource::Midi, note, velocity,
                                 sounded ? KPNotePerformer::Sounded::Already
                                         : KPNotePerformer::Sounded::Now);
            });
    connect(&input, &KPMidiInput::keyReleased, this, [&performer](uint32_t note, bool sounded) {
        performer.noteOff(KPNoteSource::Midi, note,
                          sounded ? KPNotePerformer::Sounded::Already
                                  : KPNotePerformer::Sounded::Now);
    });
    input.setJackOutput(output);
    KPJackMidiDevice keyboard;
    input.start();
    QVERIFY(input.portsInUse().contains(QStringLiteral("JACK: ") + keyboard.portName()));

    constexpr uint8_t kFrame = 40;
    KPJackListener listener(48000 / 2);
    QVERIFY(listener.isReady());
    QTRY_VERIFY(listener.started());
    keyboard.send({0x90, 60, 127}, kFrame);
    QTRY_VERIFY_WITH_TIMEOUT(listener.full(), 10000);
    const std::vector<float>& heard = listener.heard();
    const auto first = size_t(
        std::find_if(heard.begin(), heard.end(), [](float sample) { return sample != 0.0f; }) -
        heard.begin());
    const int64_t sent = int64_t(keyboard.lastSentFrame()) - int64_t(listener.firstFrame());
    QCOMPARE_GT(sent, 0);
    QCOMPARE_GE(int64_t(first / 2), sent);
    QCOMPARE_LT(int64_t(first / 2), sent - kFrame + 64);
    QTRY_COMPARE(told.keys, QStringList{"press 60"});
    QVERIFY(performer.holds(KPNoteSource::Midi, 60));

    performer.noteOn(KPNoteSource::Touch, 60, 127);
    keyboard.send({0x80, 60, 0});
    QTRY_VERIFY(!performer.holds(KPNoteSource::Midi, 60));
    QVERIFY(!player.isFading(60));
    performer.noteOff(KPNoteSource::Touch, 60);
    QTRY_VERIFY(player.isFading(60));
    // Struck again from MIDI, the fading note fades no more.
    keyboard.send({0x90, 60, 127});
    QTRY_VERIFY(performer.holds(KPNoteSource::Midi, 60));
    QVERIFY(!player.isFading(60));
    keyboard.send({0x80, 60, 0});
    QTRY_VERIFY(player.isFading(60));
    // Notes pressed and released within one cycle are let go in it too: none sounds on.
    for (uint8_t note = 48; note < 88; ++note) {
        keyboard.send({0x90, note, 100}, 10);
        keyboard.send({0x80, note, 0}, 20);
    }
    QTRY_COMPARE_WITH_TIMEOUT(player.sampler().playingVoiceCount(), 0, 5000);
    keyboard.send({0x90, 60, 127});
    QTRY_VERIFY(performer.holds(KPNoteSource::Midi, 60));
    // The sound leaving JACK lets go of what MIDI held.
    input.setJackOutput(nullptr);
    QVERIFY(!performer.holds(KPNoteSource::Midi, 60));
    performer.removeListener(&told);
}

// On the JACK output's client, a message given a frame of the output's mix goes out at that
// frame, and one whose frame has passed at the next cycle's first.
void TestMidi::outputWritesEachMessageAtItsFrame()
{
    SKIP_WITHOUT_JACK();
    const JackOutput jack = openJackOutput();
    QVERIFY(jack.player);
    const std::shared_ptr<KPJackDevice>& output = jack.device;
    KPMidiOutput midiOut;
    midiOut.setJackOutput(output);
    KPJackMidiWriter& writer = midiOut.jackWriter();
    std::unique_ptr<KPJackMidiClient> receiver =
        KPJackMidiClient::open(KPJackMidiClient::Mode::Listen);
    QVERIFY(receiver);
    QVERIFY(receiver->connectSource("Touch Piano output:Touch Piano out"));
    std::vector<KPJackMidiReader::Event> events;
    for (int tries = 0; tries < 200 && events.empty(); ++tries) {
        QVERIFY(writer.writeNow(std::array<uint8_t, 3>{0xB0, 64, 0}));
        QTest::qWait(25);
        receiver->takeEvents(events);
    }
    QVERIFY(!events.empty());

    const int64_t start = output->framesMixed() + 4800;
    QVERIFY(writer.write(start, std::array<uint8_t, 3>{0x90, 60, 100}));
    QVERIFY(writer.write(start + 10, std::array<uint8_t, 3>{0x80, 60, 0}));
    QVERIFY(writer.write(start + 200, std::array<uint8_t, 2>{0xC0, 5}));
    std::vector<KPJackMidiReader::Event> heard;
    QTRY_VERIFY((receiver->takeEvents(events),
                 heard.insert(heard.end(), events.begin(), events.end()), heard.size() >= 3));
    QCOMPARE(heard.size(), size_t(3));
    QCOMPARE(heard[1].frame - heard[0].frame, 10u);
    QCOMPARE(heard[2].frame - heard[0].frame, 200u);
    QCOMPARE(int(heard[2].size), 2);
    midiOut.setJackOutput(nullptr);
}

// Notes held (or kept by the pedal) when the server goes are let go: none sounds on for good.
// Last: it ends the server.
void TestMidi::serverGoneReleasesHeldKeys()
{
    SKIP_WITHOUT_JACK();
    KPMidiInput input;
    KeyLog log(input);
    KPJackMidiDevice keyboard;
    input.refreshPorts();
    QVERIFY(knockUntilHeard([&keyboard] { keyboard.send({0x80, 24, 0}); }, log));
    keyboard.send({0xB0, 64, 127});
    keyboard.send({0x90, 60, 64});
    keyboard.send({0x90, 64, 64});
    keyboard.send({0x80, 64, 0});
    QTRY_COMPARE(log.keys.size(), 2);
    QTest::ignoreMessage(QtWarningMsg, "KPMidiInput: JACK MIDI is gone");
    m_jack.reset();
    QTRY_COMPARE(log.keys, (QStringList{"press 60 64", "press 64 64", "release 60", "release 64"}));
    QVERIFY(!input.portsInUse().contains(QStringLiteral("JACK: Touch Piano (virtual)")));
}

QTEST_MAIN(TestMidi)
#include "tst_midi.moc"
