#include "app/KPMidiOutFeed.h"
#include "audio/KPJackDevice.h"
#include "audio/KPSoundPlayer.h"
#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysView.h"
#include "keyboard/KPTouchPlayer.h"
#include "KPAudioTestRig.h"
#include "KPJackServer.h"
#include "midi/KPMidiOutput.h"
#include "performer/KPNotePerformer.h"

#include <QFile>
#include <QTest>

#include <RtMidi.h>

#include <memory>

namespace {

// Everything that reached `input` since the last call, as "90 3C 7F".
QStringList heard(RtMidiIn& input)
{
    QStringList messages;
    std::vector<unsigned char> message;
    for (input.getMessage(&message); !message.empty(); input.getMessage(&message)) {
        QStringList bytes;
        for (unsigned char byte : message)
            bytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        messages << bytes.join(QLatin1Char(' '));
    }
    return messages;
}

bool openPortNamed(RtMidiIn& input, const std::string& prefix)
{
    for (unsigned i = 0; i < input.getPortCount(); ++i) {
        if (input.getPortName(i).starts_with(prefix)) {
            input.openPort(i);
            return true;
        }
    }
    return false;
}

} // namespace

class TestMidiOut : public QObject
{
    Q_OBJECT

private slots:
    void feedSendsWhatThePlayerPlays();
    void mouseNoteGoesOutOnJack();
    void mouseNoteGoesOutOnAlsa();

private:
    // Plays C3 with the mouse on a keys view played through `performer`, and checks that
    // `listener`, connected to the output, hears it struck and let go.
    void playWithTheMouse(KPNotePerformer& performer, RtMidiIn& listener);
};

// Touches, the mouse and the computer keys go out, a MIDI keyboard's notes do not, and a
// playback's only when asked. A note ends when the last source sent lets go, or the pedal lifts.
void TestMidiOut::feedSendsWhatThePlayerPlays()
{
    KPAudioTest::AudioRig rig = KPAudioTest::AudioRig::withPlayer();
    KPNotePerformer performer(rig.player());
    KPMidiOutput output;
    KPMidiOutFeed feed(performer, output);
    performer.noteOn(KPNoteSource::Touch, 60, 100);
    performer.noteOn(KPNoteSource::ComputerKeys, 60, 100);
    performer.noteOn(KPNoteSource::Midi, 62, 100);
    performer.noteOn(KPNoteSource::Playback, 64, 100);
    QVERIFY(output.isSounding(60));
    QVERIFY(!output.isSounding(62));
    QVERIFY(!output.isSounding(64));
    performer.noteOff(KPNoteSource::Touch, 60);
    QVERIFY(output.isSounding(60));
    performer.noteOff(KPNoteSource::ComputerKeys, 60);
    QVERIFY(!output.isSounding(60));

    feed.setSendsPlayback(true);
    performer.noteOn(KPNoteSource::Playback, 65, 100);
    QVERIFY(output.isSounding(65));
    feed.setSendsPlayback(false);
    QVERIFY(!output.isSounding(65));

    performer.setSustain(true);
    performer.noteOn(KPNoteSource::Touch, 67, 100);
    performer.noteOff(KPNoteSource::Touch, 67);
    QVERIFY(output.isSounding(67));
    performer.setSustain(false);
    QVERIFY(!output.isSounding(67));
}

void TestMidiOut::playWithTheMouse(KPNotePerformer& performer, RtMidiIn& listener)
{
    KPPianoKeysView keys(QRect(0, 0, 480, 320));
    KPTouchPlayer touch(performer);
    keys.setKeysDelegate(&touch);
    keys.show();
    QVERIFY(QTest::qWaitForWindowExposed(&keys));
    // A new connection carries messages from the next cycle on: the pedal knocks until heard.
    bool connected = false;
    for (int tries = 0; tries < 200 && !connected; ++tries) {
        performer.setSustain(true);
        performer.setSustain(false);
        QTest::qWait(25);
        connected = heard(listener).contains(QStringLiteral("B0 40 00"));
    }
    QVERIFY(connected);

    const QRect c3 = keys.keyCollection().at(14)->geometry();
    // On the strip of keys, where the mouse lands.
    const QPoint at(c3.center().x(), 260);
    const auto note = QStringLiteral("%1")
                          .arg(KPKeyboardLayout::midiIndexForKey(14), 2, 16, QLatin1Char('0'))
                          .toUpper();
    QTest::mousePress(keys.widget(), Qt::LeftButton, {}, at);
    QStringList messages;
    QTRY_VERIFY(!(messages << heard(listener)).isEmpty());
    QCOMPARE(messages, QStringList{"90 " + note + " 7F"});
    QTest::mouseRelease(keys.widget(), Qt::LeftButton, {}, at);
    messages.clear();
    QTRY_VERIFY(!(messages << heard(listener)).isEmpty());
    QCOMPARE(messages, QStringList{"80 " + note + " 00"});
}

// On the JACK output's client, beside its input port, written in its cycle.
void TestMidiOut::mouseNoteGoesOutOnJack()
{
    KPJackServer server;
    if (!server.isRunning())
        QSKIP(qPrintable(QStringLiteral("no JACK server for a real MIDI port: ") + server.error()));
    std::shared_ptr<KPJackDevice> device = KPJackDevice::open();
    QVERIFY(device);
    KPSoundPlayer player([device] { return device; });
    KPNotePerformer performer(player);
    KPMidiOutput output;
    output.setJackOutput(device);
    KPMidiOutFeed feed(performer, output);
    RtMidiIn listener(RtMidi::UNIX_JACK, "Listener");
    QVERIFY(openPortNamed(listener, "Touch Piano output:Touch Piano out"));
    playWithTheMouse(performer, listener);
    output.setJackOutput(nullptr);
}

void TestMidiOut::mouseNoteGoesOutOnAlsa()
{
    if (!QFile::exists(QStringLiteral("/dev/snd/seq")))
        QSKIP("no ALSA sequencer on this machine (/dev/snd/seq is missing)");
    KPAudioTest::AudioRig rig = KPAudioTest::AudioRig::withPlayer();
    KPNotePerformer performer(rig.player());
    KPMidiOutput output;
    output.start();
    KPMidiOutFeed feed(performer, output);
    RtMidiIn listener(RtMidi::LINUX_ALSA, "Listener");
    QVERIFY(openPortNamed(listener, "Touch Piano:Touch Piano"));
    playWithTheMouse(performer, listener);
}

QTEST_MAIN(TestMidiOut)
#include "tst_midiout.moc"
