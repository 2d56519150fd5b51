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
    void randomPlayingLeavesNoNoteWithoutAHolder();
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

// Four sources pressing and releasing overlapping notes, timed and at once, with the pedal,
// whole sources let go and instruments switched in between, seeded: what the listeners were told
// matches what each source holds at every step, and once every source has let go and the pedal
// is up, nothing sounds.
void TestNotePerformer::randomPlayingLeavesNoNoteWithoutAHolder()
{
    // What each source holds, as its listener was told.
    class Holds : public KPNoteListener
    {
    public:
        void notePressed(KPNoteSource source, uint32_t note, uint8_t) override
        {
            held[size_t(source)].set(note);
        }
        void noteReleased(KPNoteSource source, uint32_t note, bool) override
        {
            held[size_t(source)].reset(note);
        }
        std::array<std::bitset<128>, kNoteSourceCount> held;
    };
    const KPNoteSource sources[] = {Touch, Keys, Midi, Playback};
    for (quint32 seed = 1; seed <= 20; ++seed) {
        QRandomGenerator random(seed);
        Holds told;
        m_performer->addListener(&told);
        const auto pick = [&random](int count) {
            return int(random.bounded(count));
        };
        for (int step = 0; step < 300; ++step) {
            const KPNoteSource source = sources[pick(4)];
            const auto note = uint32_t(60 + pick(6));
            const KPClock::TimePoint later = m_clock->now() + std::chrono::milliseconds(pick(150));
            switch (pick(12)) {
            case 0:
            case 1:
            case 2:
                m_performer->noteOn(source, note, uint8_t(1 + pick(127)));
                break;
            case 3:
            case 4:
            case 5:
                m_performer->noteOff(source, note);
                break;
            case 6:
                m_performer->noteOn(Playback, note, uint8_t(1 + pick(127)), later);
                break;
            case 7:
                m_performer->noteOff(Playback, note, later);
                break;
            case 8:
                m_performer->setSustain(pick(2) == 0);
                break;
            case 9:
                m_performer->releaseAll(source);
                break;
            case 10:
                if (pick(10) == 0)
                    m_rig.player().useSoundBank(pick(2) ? QStringLiteral("Banjo")
                                                        : QStringLiteral("Grand Piano"));
                break;
            default:
                const double seconds = pick(60) / 1000.0;
                m_clock->advance(std::chrono::duration_cast<KPClock::Duration>(
                    std::chrono::duration<double>(seconds)));
                m_rig.render(seconds);
            }
            for (const KPNoteSource held : sources) {
                for (uint32_t n = 60; n < 66; ++n)
                    QVERIFY2(told.held[size_t(held)].test(n) == m_performer->holds(held, n),
                             qPrintable(QStringLiteral("seed %1, step %2, note %3, source %4")
                                            .arg(seed)
                                            .arg(step)
                                            .arg(n)
                                            .arg(int(held))));
            }
        }
        m_performer->setSustain(false);
        for (const KPNoteSource source : sources)
            m_performer->releaseAll(source);
        passASecond();
        QVERIFY2(m_rig.sampler().playingVoiceCount() == 0,
                 qPrintable(QStringLiteral("seed %1: %2 voices sound on")
                                .arg(seed)
                                .arg(m_rig.sampler().playingVoiceCount())));
        m_performer->removeListener(&told);
    }
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
