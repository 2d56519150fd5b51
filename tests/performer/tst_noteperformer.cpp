#include "KPAudioTestRig.h"
#include "KPTestClock.h"

#include "performer/KPNotePerformer.h"

#include <QtTest>

using namespace std::chrono_literals;

namespace {

// What the performer tells, as "press 60 by 2 at 100" and "release 60 by 2 (held)", sources
// by number.
class Told : public KPNoteListener
{
public:
    void notePressed(KPNoteSource source, uint32_t note, uint8_t velocity) override
    {
        lines << QStringLiteral("press %1 by %2 at %3").arg(note).arg(int(source)).arg(velocity);
    }
    void noteReleased(KPNoteSource source, uint32_t note, bool stillHeld) override
    {
        lines << QStringLiteral("release %1 by %2%3")
                     .arg(note)
                     .arg(int(source))
                     .arg(stillHeld ? QStringLiteral(" (held)") : QString());
    }

    QStringList lines;
};

constexpr auto Touch = KPNoteSource::Touch;
constexpr auto Keys = KPNoteSource::ComputerKeys;
constexpr auto Midi = KPNoteSource::Midi;
constexpr auto Playback = KPNoteSource::Playback;

} // namespace

class TestNotePerformer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void twoSourcesHoldOneNote();
    void sourceReleasedAsAWhole();
    void alreadySoundedIsKeptAndToldButNotStruck();
    void timedEventsAreToldWhenDue();
    void releaseCancelsWhatIsNotDue();
    void notesOffTheTablePlayNothing();
    void sustainHoldsReleasesUntilItLifts();
    void localSoundOffSilencesOnlyTheSound();

private:
    float gain(uint32_t note) const { return m_rig.sampler().currentNoteGain(int(note)); }
    // A second goes by, and its sound is rendered: the fades step on the rendered frames.
    void passASecond()
    {
        m_clock->advance(1s);
        m_rig.render(1.0);
    }

    KPAudioTest::AudioRig m_rig = KPAudioTest::AudioRig::withPlayer();
    std::unique_ptr<KPTestClock> m_clock;
    std::unique_ptr<KPNotePerformer> m_performer;
    Told m_told;
};

void TestNotePerformer::init()
{
    m_clock = std::make_unique<KPTestClock>();
    m_performer = std::make_unique<KPNotePerformer>(m_rig.player());
    m_told = Told();
    m_performer->addListener(&m_told);
}

void TestNotePerformer::cleanup()
{
    m_performer.reset();
    // Whatever still sounds fades out.
    for (uint32_t note = 0; note < 128; ++note)
        m_rig.player().stop(note);
    passASecond();
    m_clock.reset();
}

// The note sounds until the last source holding it lets go; each change is told once.
void TestNotePerformer::twoSourcesHoldOneNote()
{
    m_performer->noteOn(Touch, 60, 127);
    m_performer->noteOn(Midi, 60, 90);
    m_performer->noteOff(Touch, 60);
    passASecond();
    QVERIFY(gain(60) > 0.0f);
    QVERIFY(m_performer->holds(Midi, 60));
    QVERIFY(!m_performer->holds(Touch, 60));
    m_performer->noteOff(Midi, 60);
    passASecond();
    QCOMPARE(m_rig.playingVoices(60), 0);
    QCOMPARE(m_told.lines, (QStringList{"press 60 by 0 at 127", "press 60 by 2 at 90",
                                        "release 60 by 0 (held)", "release 60 by 2"}));
}

void TestNotePerformer::sourceReleasedAsAWhole()
{
    m_performer->noteOn(Touch, 62, 127);
    m_performer->noteOn(Touch, 60, 127);
    m_performer->noteOn(Keys, 64, 127);
    m_told.lines.clear();
    m_performer->releaseAll(Touch);
    QCOMPARE(m_told.lines, (QStringList{"release 60 by 0", "release 62 by 0"}));
    passASecond();
    QCOMPARE(m_rig.playingVoices(60) + m_rig.playingVoices(62), 0);
    QCOMPARE(gain(64), 1.0f);
    m_performer->releaseAll(Touch);
    QCOMPARE(m_told.lines.size(), 2);
}

// What the output sounded in its own cycle is held, shown and recorded, never struck twice.
void TestNotePerformer::alreadySoundedIsKeptAndToldButNotStruck()
{
    m_performer->noteOn(Midi, 67, 100, KPNotePerformer::Sounded::Already);
    QCOMPARE(m_rig.playingVoices(67), 0);
    QVERIFY(m_performer->isHeld(67));
    m_performer->noteOff(Midi, 67, KPNotePerformer::Sounded::Already);
    QVERIFY(!m_performer->isHeld(67));
    QCOMPARE(m_told.lines, (QStringList{"press 67 by 2 at 100", "release 67 by 2"}));
}

void TestNotePerformer::timedEventsAreToldWhenDue()
{
    const KPClock::TimePoint start = m_clock->now();
    m_performer->noteOn(Playback, 60, 127, start + 50ms);
    m_performer->noteOff(Playback, 60, start + 80ms);
    m_clock->advance(49ms);
    QVERIFY(m_told.lines.isEmpty());
    QVERIFY(!m_performer->isHeld(60));
    m_clock->advance(1ms);
    QCOMPARE(m_told.lines, QStringList{"press 60 by 3 at 127"});
    QCOMPARE(m_rig.playingVoices(60), 1);
    m_clock->advance(30ms);
    QCOMPARE(m_told.lines.last(), QStringLiteral("release 60 by 3"));
    // A time already passed plays at once.
    m_performer->noteOn(Playback, 62, 127, start);
    QCOMPARE(m_told.lines.last(), QStringLiteral("press 62 by 3 at 127"));
}

// Events handed over ahead and not yet due are never told, and their notes end.
void TestNotePerformer::releaseCancelsWhatIsNotDue()
{
    m_performer->noteOn(Playback, 60, 127, m_clock->now() + 50ms);
    m_performer->noteOn(Touch, 62, 127, m_clock->now() + 50ms);
    m_performer->releaseAll(Playback);
    passASecond();
    QCOMPARE(m_told.lines, QStringList{"press 62 by 0 at 127"});
    QCOMPARE(m_rig.playingVoices(60), 0);
    QCOMPARE(gain(62), 1.0f);
}

void TestNotePerformer::notesOffTheTablePlayNothing()
{
    m_performer->noteOn(Midi, 128, 127);
    m_performer->noteOff(Midi, 128);
    m_performer->noteOn(Playback, 200, 127, m_clock->now() + 10ms);
    m_clock->advance(20ms);
    QVERIFY(m_told.lines.isEmpty());
    QVERIFY(!m_performer->isHeld(128));
}

// Touch and computer keys wait for the pedal; a MIDI keyboard has a pedal of its own.
void TestNotePerformer::sustainHoldsReleasesUntilItLifts()
{
    m_performer->noteOn(Touch, 60, 127);
    m_performer->noteOn(Keys, 64, 127);
    m_performer->noteOn(Midi, 67, 127);
    m_performer->setSustain(true);
    m_performer->noteOff(Touch, 60);
    m_performer->noteOff(Keys, 64);
    m_performer->noteOff(Midi, 67);
    passASecond();
    QCOMPARE(gain(60), 1.0f);
    QCOMPARE(gain(64), 1.0f);
    QCOMPARE(m_rig.playingVoices(67), 0);
    // Struck again under the pedal, a note is held by its key once more.
    m_performer->noteOn(Keys, 64, 127);
    m_told.lines.clear();
    m_performer->setSustain(false);
    QCOMPARE(m_told.lines, QStringList{"release 60 by 0"});
    passASecond();
    QCOMPARE(m_rig.playingVoices(60), 0);
    QVERIFY(m_performer->holds(Keys, 64));
    // Letting go of a whole source does not wait for the pedal.
    m_performer->setSustain(true);
    m_performer->releaseAll(Keys);
    QVERIFY(!m_performer->isHeld(64));
    m_performer->setSustain(false);
}

// Off, the instrument is silent, while its notes are still held and told; the volume stays.
void TestNotePerformer::localSoundOffSilencesOnlyTheSound()
{
    KPSoundPlayer& player = m_rig.player();
    player.setVolume(0.5f);
    player.setLocalSound(false);
    m_performer->noteOn(Touch, 60, 127);
    QCOMPARE(KPAudioTest::level(m_rig.render(0.2), 0), 0.0);
    QVERIFY(m_performer->holds(Touch, 60));
    QCOMPARE(m_told.lines, QStringList{"press 60 by 0 at 127"});
    QCOMPARE(player.volume(), 0.5f);
    player.setLocalSound(true);
    QCOMPARE_GT(KPAudioTest::level(m_rig.render(0.2), 0), 0.0);
    player.setVolume(1.0f);
}

QTEST_MAIN(TestNotePerformer)
#include "tst_noteperformer.moc"
