#include "exchange/KPAudioExport.h"
#include "exchange/KPRecordingMidi.h"
#include "exchange/KPStandardMidiFile.h"
#include "KPAudioTestRig.h"

#include "audio/KPAudioSession.h"
#include "platform/KPLocalization.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// Debian's interpreter, where python3-mido is installed, whatever python3 comes first on the path.
const QString kPython = QStringLiteral("/usr/bin/python3");

KPPianoRecording threeNotes()
{
    KPPianoRecording recording;
    recording.soundBankName = QStringLiteral("Banjo");
    recording.recordingName = QStringLiteral("Little tune");
    recording.recordingDate = QDateTime::currentDateTime();
    // C4 (white key 21), D4 (22), and C#4 (black key 49 + 15) overlapping D4.
    recording.actions = {
        {21, KPRecordedKeyState::Pressed, 0.0f, 100}, {21, KPRecordedKeyState::Released, 0.4f},
        {22, KPRecordedKeyState::Pressed, 0.5f, 64},  {64, KPRecordedKeyState::Pressed, 0.75f},
        {22, KPRecordedKeyState::Released, 1.0f},     {64, KPRecordedKeyState::Released, 1.25f}};
    return recording;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values)
        out.append(char(value));
    return out;
}

QByteArray chunk(const char* tag, const QByteArray& body)
{
    const auto size = uint32_t(body.size());
    return QByteArray(tag, 4) +
           bytes(
               {int(size >> 24), int(size >> 16 & 0xFF), int(size >> 8 & 0xFF), int(size & 0xFF)}) +
           body;
}

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void roundTripKeepsEventsWithinAMillisecond()
    {
        const KPPianoRecording recording = threeNotes();
        const auto imported =
            KPRecordingMidi::fromMidi(KPRecordingMidi::toMidi(recording), QStringLiteral("x"));
        QVERIFY(imported);
        QCOMPARE(imported->recording.soundBankName, QStringLiteral("Banjo"));
        QCOMPARE(imported->recording.actions.size(), recording.actions.size());
        for (qsizetype i = 0; i < recording.actions.size(); ++i) {
            const KPPianoKeyAction& in = recording.actions[i];
            const KPPianoKeyAction& out = imported->recording.actions[i];
            QCOMPARE(out.index, in.index);
            QCOMPARE(out.state, in.state);
            QCOMPARE(out.velocity, in.velocity);
            QVERIFY2(qAbs(out.interval - in.interval) < 0.001f, qPrintable(QString::number(i)));
        }
    }

    void independentParserReadsTheExport()
    {
        if (QProcess::execute(kPython, {"-c", "import mido"}) != 0)
            QSKIP("python3-mido is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tune.mid"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(KPRecordingMidi::toMidi(threeNotes()));
        file.close();
        QProcess python;
        python.start(kPython, {"-c",
                               "import mido,sys\n"
                               "f=mido.MidiFile(sys.argv[1]); t=0\n"
                               "print(f.type, f.ticks_per_beat)\n"
                               "for m in f:\n"
                               "  t+=m.time\n"
                               "  if m.type=='track_name': print('name', m.name)\n"
                               "  if m.type=='program_change': print('program', m.program)\n"
                               "  if m.type in ('note_on','note_off'): "
                               "print(m.type, m.note, m.velocity, round(t*1000))\n",
                               path});
        QVERIFY(python.waitForFinished());
        QCOMPARE(python.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, QStringList({"0 960", "name Little tune", "program 105", "note_on 60 100 0",
                                     "note_off 60 0 400", "note_on 62 64 500", "note_on 61 127 750",
                                     "note_off 62 0 1000", "note_off 61 0 1250"}));
    }

    void typeOneTempoChangeAndOverlapImport()
    {
        // 96 ticks a quarter; the tempo track halves the speed after one quarter (0.5 s).
        const QByteArray tempoTrack = bytes({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x60, 0xFF,
                                             0x51, 0x03, 0x0F, 0x42, 0x40, 0x00, 0xFF, 0x2F, 0x00});
        // Program 21 (Accordion); C4 at 0, struck again at 1 quarter while it sounds, C4 off at
        // 2 quarters (running status, velocity-0 note on), and C0, which the keyboard lacks.
        const QByteArray noteTrack =
            bytes({0x00, 0xC0, 21, 0x00, 0x90, 60, 100, 0x60, 60,   90,   0x00, 12,
                   80,   0x60, 60, 0,    0x00, 12, 0,   0x00, 0xFF, 0x2F, 0x00});
        const QByteArray file = chunk("MThd", bytes({0, 1, 0, 2, 0, 96})) +
                                chunk("MTrk", tempoTrack) + chunk("MTrk", noteTrack);
        const auto imported = KPRecordingMidi::fromMidi(file, QStringLiteral("song"));
        QVERIFY(imported);
        QCOMPARE(imported->droppedNotes, 1);
        QCOMPARE(imported->recording.soundBankName, QStringLiteral("Accordion"));
        QCOMPARE(imported->recording.recordingName, QStringLiteral("song"));
        const QList<KPPianoKeyAction> expected = {{21, KPRecordedKeyState::Pressed, 0.0f, 100},
                                                  {21, KPRecordedKeyState::Released, 0.5f},
                                                  {21, KPRecordedKeyState::Pressed, 0.5f, 90},
                                                  {21, KPRecordedKeyState::Released, 1.5f}};
        QCOMPARE(imported->recording.actions, expected);
    }

    // Releasing everything records a release of every key; only the one that sounds is written.
    void exportWritesANoteOffOnlyForASoundingNote()
    {
        KPPianoRecording recording = threeNotes();
        for (int32_t key = 0; key < 84; ++key)
            recording.actions.append({key, KPRecordedKeyState::Released, 2.0f});
        const auto read = KPStandardMidiFile::read(KPRecordingMidi::toMidi(recording));
        QVERIFY(read);
        QCOMPARE(std::count_if(read->messages.cbegin(), read->messages.cend(),
                               [](const auto& m) { return (m.status & 0xF0) == 0x80; }),
                 3);
    }

    // Channel 10 (0x99) holds drums, not pitches; the pedal (controller 64) holds C4 until it
    // comes up at 2 s (192 ticks a second at the default tempo and 96 a quarter).
    void percussionLeftOutAndPedalHeld()
    {
        const QByteArray track = bytes({0x00, 0x99, 36,   100,  0x00, 0xB0, 64,   127,  0x00, 0x90,
                                        60,   80,   0x30, 0x80, 60,   0,    0x00, 0x99, 38,   90,
                                        0x82, 0x50, 0xB0, 64,   0,    0x00, 0xFF, 0x2F, 0x00});
        const auto imported = KPRecordingMidi::fromMidi(
            chunk("MThd", bytes({0, 0, 0, 1, 0, 96})) + chunk("MTrk", track), "drums");
        QVERIFY(imported);
        QCOMPARE(imported->drumNotes, 2);
        QCOMPARE(imported->leftOut(),
                 QStringLiteral("left out 2 notes of percussion (channel 10)"));
        const QList<KPPianoKeyAction> expected = {{21, KPRecordedKeyState::Pressed, 0.0f, 80},
                                                  {21, KPRecordedKeyState::Released, 2.0f}};
        QCOMPARE(imported->recording.actions, expected);
    }

    // A small file whose second note comes 16 days later, and one with a note too many.
    void importsAreBounded()
    {
        const QByteArray late = bytes({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0xFF, 0xFF, 0xFF,
                                       0x7F, 0x90, 62, 100, 0x00, 0xFF, 0x2F, 0x00});
        const auto cut = KPRecordingMidi::fromMidi(
            chunk("MThd", bytes({0, 0, 0, 1, 0, 96})) + chunk("MTrk", late), "late");
        QVERIFY(cut);
        QVERIFY(cut->cutAtLength);
        QCOMPARE(cut->recording.actions.size(), 2);
        QVERIFY(cut->leftOut().endsWith(QStringLiteral("everything after 24 hours")));
        // With every note past the limit, what was cut is named.
        const QByteArray allLate =
            bytes({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 62, 100, 0x00, 0xFF, 0x2F, 0x00});
        QString error;
        QVERIFY(!KPRecordingMidi::fromMidi(
            chunk("MThd", bytes({0, 0, 0, 1, 0, 96})) + chunk("MTrk", allLate), "late", &error));
        QCOMPARE(error, QStringLiteral("no note is left to import: left out everything after 24 "
                                       "hours"));
        QVERIFY(KPLocalization::install(QLocale(QLocale::German)));
        QCOMPARE(cut->leftOut(KPRecordingMidi::Import::Words::Localized),
                 QStringLiteral("ausgelassen: alles nach 24 Stunden"));

        KPPianoRecording many;
        for (int note = 0; note <= KPRecordingMidi::kMaxNotes; ++note) {
            many.actions.append({21, KPRecordedKeyState::Pressed, note * 0.01f});
            many.actions.append({21, KPRecordedKeyState::Released, note * 0.01f + 0.005f});
        }
        const auto kept = KPRecordingMidi::fromMidi(KPRecordingMidi::toMidi(many), "many");
        QVERIFY(kept);
        QVERIFY(kept->cutAtNotes);
        QCOMPARE(kept->recording.actions.size(), 2 * KPRecordingMidi::kMaxNotes);
    }

    void brokenFilesFailWithAReason_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray header = chunk("MThd", bytes({0, 0, 0, 1, 0, 96}));
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not midi") << QByteArray("RIFF....WAVE");
        QTest::newRow("type 2") << chunk("MThd", bytes({0, 2, 0, 1, 0, 96}));
        QTest::newRow("undefined status in a track")
            << header + chunk("MTrk", bytes({0, 0xF4, 0, 0x90, 60, 100}));
        QTest::newRow("endless delta")
            << header + chunk("MTrk", bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
        QTest::newRow("data before status") << header + chunk("MTrk", bytes({0, 60, 100}));
        QTest::newRow("no notes") << header + chunk("MTrk", bytes({0, 0xFF, 0x2F, 0}));
    }

    void brokenFilesFailWithAReason()
    {
        QFETCH(QByteArray, file);
        QString error;
        QVERIFY(!KPRecordingMidi::fromMidi(file, QStringLiteral("x"), &error));
        QVERIFY(!error.isEmpty());
    }

    void damagedHeadersSayWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("text after the tag")
            << QByteArray("MThdag this is text, not a header") << "gives its length as 1634148468";
        QTest::newRow("format out of range")
            << chunk("MThd", bytes({0x67, 0x61, 0, 1, 0, 96})) << "names format 26465";
        QTest::newRow("no track") << chunk("MThd", bytes({0, 0, 0, 0, 0, 96})) << "counts no track";
    }

    void damagedHeadersSayWhatIsWrong()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!KPStandardMidiFile::read(file, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // Between two notes of a scale stands a stray system message: passed over by its length.
    void straySystemMessagesAreSkipped_data()
    {
        QTest::addColumn<QByteArray>("stray");
        QTest::newRow("time code F1 xx") << bytes({0xF1, 0x12});
        QTest::newRow("song position F2 xx xx") << bytes({0xF2, 0x00, 0x10});
        QTest::newRow("song select F3 xx") << bytes({0xF3, 0x01});
        QTest::newRow("tune request F6") << bytes({0xF6});
        QTest::newRow("clock F8") << bytes({0xF8});
        QTest::newRow("start FA") << bytes({0xFA});
        QTest::newRow("continue FB") << bytes({0xFB});
        QTest::newRow("stop FC") << bytes({0xFC});
        QTest::newRow("active sensing FE") << bytes({0xFE});
    }

    void straySystemMessagesAreSkipped()
    {
        QFETCH(QByteArray, stray);
        const QByteArray track = bytes({0, 0x90, 60, 100, 0x60, 60, 0}) + bytes({0}) + stray +
                                 bytes({0, 62, 100, 0x60, 62, 0, 0, 0xFF, 0x2F, 0});
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("skipped a system message"));
        const auto read = KPStandardMidiFile::read(chunk("MThd", bytes({0, 0, 0, 1, 0, 96})) +
                                                   chunk("MTrk", track));
        QVERIFY(read);
        QCOMPARE(read->messages.size(), 4);
        QCOMPARE(read->messages[2], (KPStandardMidiFile::Message{0.5, 0x90, 62, 100}));
    }

    // A file without its last byte, and one whose track says it is longer than the file.
    void aCutOffFileKeepsItsCompleteEvents()
    {
        const QByteArray whole = KPRecordingMidi::toMidi(threeNotes());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cut off by the end of the file"));
        const auto read = KPStandardMidiFile::read(whole.chopped(1));
        QVERIFY(read);
        QCOMPARE(read->messages, KPStandardMidiFile::read(whole)->messages);

        const QByteArray longer = chunk("MThd", bytes({0, 0, 0, 1, 0, 96})) +
                                  QByteArray("MTrk\x7F\xFF\xFF\xFF", 8) +
                                  bytes({0, 0x90, 60, 100, 0x60, 0x80, 60});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("its 1 complete events"));
        QCOMPARE(KPStandardMidiFile::read(longer)->messages.size(), 1);
    }

    void audioExportHoldsTheNotesAtPitchTimeAndFade()
    {
        // C4, E4 and G4, a second apart, each released after 0.1 s: each fades out before the
        // next begins, so every onset follows silence.
        KPPianoRecording recording;
        recording.soundBankName = QStringLiteral("Grand Piano");
        const QList<std::pair<int32_t, double>> notes = {{21, 261.63}, {23, 329.63}, {25, 392.0}};
        for (int i = 0; i < notes.size(); ++i) {
            recording.actions.append({notes[i].first, KPRecordedKeyState::Pressed, float(i)});
            recording.actions.append({notes[i].first, KPRecordedKeyState::Released, i + 0.1f});
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tune.wav"));
        QString error;
        QVERIFY2(KPAudioExport::write(recording, path, &error), qPrintable(error));

        SF_INFO info{};
        SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
        QVERIFY(file);
        QCOMPARE(info.samplerate, 44100);
        QCOMPARE(info.channels, 2);
        QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        std::vector<float> sound(size_t(info.frames) * 2);
        sf_readf_float(file, sound.data(), info.frames);
        sf_close(file);
        // The last note fades on its grid and stops 0.5 s after its press; the file ends there.
        QVERIFY2(qAbs(double(info.frames) / 44100 - 2.5) < 0.01,
                 qPrintable(QString::number(info.frames)));

        const auto loud = [&](size_t frame) {
            return qAbs(sound[2 * frame]) > 1e-4f;
        };
        for (int i = 0; i < notes.size(); ++i) {
            size_t onset = size_t(std::max(0, i * 44100 - 2205));
            while (onset < sound.size() / 2 && !loud(onset))
                ++onset;
            QVERIFY2(qAbs(double(onset) / 44100 - i) <= 0.005, qPrintable(QString::number(onset)));
            const double pitch =
                KPAudioTest::fundamentalPartial(sound, 44100, notes[i].second, onset + 441, 8192);
            QVERIFY2(qAbs(KPAudioTest::cents(pitch, notes[i].second)) < 5.0,
                     qPrintable(QString::number(pitch)));
            // Fading from the release: quieter than at the press, gliding into silence at its
            // fifth step, 0.5 s after the press, where the note stops.
            const double pressed = KPAudioTest::level(sound, 0, onset, 2205);
            QVERIFY(KPAudioTest::level(sound, 0, onset + 13230, 2205) < 0.7 * pressed);
            QVERIFY(KPAudioTest::level(sound, 0, onset + 22491, 2205) < 0.25 * pressed);
            QVERIFY(KPAudioTest::level(sound, 0, onset + 26460, 2205) < 1e-3 * pressed);
        }
    }

    // The same tune exported as played and 0.25 s (11025 frames) later: the second file is the
    // first one moved by exactly those frames, every press, release and fade step included. Its
    // times are exact in binary, so that both land on whole frames.
    void audioExportPlacesEveryEventOnItsFrame()
    {
        KPPianoRecording tune = threeNotes();
        tune.actions[1].interval = 0.375f;
        KPPianoRecording later = tune;
        for (KPPianoKeyAction& action : later.actions)
            action.interval += 0.25f;
        QTemporaryDir dir;
        std::vector<std::vector<short>> files;
        for (const KPPianoRecording& recording : {tune, later}) {
            const QString path = dir.filePath(QStringLiteral("%1.wav").arg(files.size()));
            QString error;
            QVERIFY2(KPAudioExport::write(recording, path, &error), qPrintable(error));
            SF_INFO info{};
            SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
            QVERIFY(file);
            files.emplace_back(size_t(info.frames) * 2);
            sf_readf_short(file, files.back().data(), info.frames);
            sf_close(file);
        }
        constexpr size_t kShift = 11025 * 2;
        // Each file ends with the block in which its last voice went silent.
        const size_t common = std::min(files[0].size(), files[1].size() - kShift);
        QVERIFY(common + 128 > files[0].size());
        QVERIFY(std::all_of(files[1].begin(), files[1].begin() + kShift,
                            [](short sample) { return sample == 0; }));
        QVERIFY(std::equal(files[0].begin(), files[0].begin() + ptrdiff_t(common),
                           files[1].begin() + kShift));
    }

    // Exports render offline on their worker thread while the instrument plays and the
    // application is suspended and resumed: the audio session stays the instrument's, which falls
    // silent while the application is suspended, during the exports and after them.
    void exportLeavesTheInstrumentsSessionAlone()
    {
        KPAudioTest::AudioRig rig = KPAudioTest::AudioRig::withPlayer();
        KPAudioSession& session = KPAudioSession::sharedSession();
        const auto silentWhileSuspended = [&] {
            rig.player().play(60);
            session.beginInterruption();
            const double suspended = KPAudioTest::level(rig.render(0.02), 0);
            session.endInterruption();
            const double resumed = KPAudioTest::level(rig.render(0.02), 0);
            rig.player().stop(60);
            return suspended == 0.0 && resumed > 0.01;
        };
        QTemporaryDir dir;
        int exported = 0;
        std::atomic<bool> done = false;
        std::jthread exporting([&] {
            for (const char* name : {"a.wav", "a.flac"})
                exported += KPAudioExport::write(threeNotes(), dir.filePath(name), nullptr);
            done = true;
        });
        bool silent = true;
        do
            silent = silentWhileSuspended() && silent;
        while (!done);
        exporting.join();
        QCOMPARE(exported, 2);
        QVERIFY(silent);
        QVERIFY(session.isActive());
        QVERIFY(silentWhileSuspended());
    }

    // The silent output mixes on a thread of its own. An export beside it, while the instrument
    // plays there and the application is suspended and resumed, writes what it writes alone.
    void exportBesideTheSilentOutputWritesWhatItWritesAlone()
    {
        QTemporaryDir dir;
        const QString alone = dir.filePath(QStringLiteral("alone.wav"));
        const QString beside = dir.filePath(QStringLiteral("beside.wav"));
        QVERIFY(KPAudioExport::write(threeNotes(), alone, nullptr));
        std::shared_ptr<KPLoopbackDevice> silent = KPLoopbackDevice::open(
            KPLoopbackDevice::kDefaultRate, KPLoopbackDevice::Mixing::RealTime);
        QVERIFY(silent);
        KPSoundPlayer player([silent] { return silent; });
        KPAudioSession& session = KPAudioSession::sharedSession();
        bool written = false;
        std::atomic<bool> done = false;
        std::jthread exporting([&] {
            written = KPAudioExport::write(threeNotes(), beside, nullptr);
            done = true;
        });
        for (uint32_t note = 48; !done; note = note == 72 ? 48 : note + 1) {
            player.play(note, 100);
            const int64_t heard = silent->framesMixed() + 256;
            while (silent->framesMixed() < heard)
                std::this_thread::yield();
            player.stop(note);
            session.beginInterruption();
            QVERIFY(silent->isPaused());
            session.endInterruption();
        }
        exporting.join();
        QVERIFY(written);
        QFile first(alone);
        QFile second(beside);
        QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
        QVERIFY(first.readAll() == second.readAll());
    }

    void mutatedFilesNeverCrash()
    {
        const QByteArray valid = KPRecordingMidi::toMidi(threeNotes());
        QRandomGenerator random(20261207);
        for (int round = 0; round < 3000; ++round) {
            QByteArray file = valid;
            for (int flips = 1 + random.bounded(8); flips > 0; --flips)
                file[random.bounded(file.size())] = char(random.bounded(256));
            if (random.bounded(4) == 0)
                file.truncate(random.bounded(file.size()));
            QString error;
            const auto imported = KPRecordingMidi::fromMidi(file, QStringLiteral("x"), &error);
            QVERIFY(imported || !error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
