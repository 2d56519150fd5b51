#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPianoKeysView.h"
#include "platform/KPBundle.h"

#include <QSet>
#include <QTest>

#include <limits>

class TestKeyboardLayout : public QObject
{
    Q_OBJECT

private slots:
    void midiIndexForKey_data();
    void midiIndexForKey();
    void midiNotesCoverTheKeyboardOnce();
    void labelForKey_data();
    void labelForKey();
    void soundNameForKey_data();
    void soundNameForKey();
    void soundPathForKey_data();
    void soundPathForKey();
    void keyFrames_data();
    void keyFrames();
    void whiteKeysTileTheStrip();
    void octaveOffset_data();
    void octaveOffset();
    void keyAtPoint_data();
    void keyAtPoint();
};

void TestKeyboardLayout::midiIndexForKey_data()
{
    QTest::addColumn<uint32_t>("key");
    QTest::addColumn<uint32_t>("note");
    QTest::newRow("C1, the first key") << 0u << 24u;
    QTest::newRow("G1") << 4u << 31u;
    QTest::newRow("F3 after the E-F half step") << 17u << 53u;
    QTest::newRow("B7, the last white key") << 48u << 107u;
    QTest::newRow("C sharp 1, the first black key") << 49u << 25u;
    QTest::newRow("F sharp 1") << 51u << 30u;
    QTest::newRow("C sharp 4") << 64u << 61u;
    QTest::newRow("A sharp 7, the last key") << 83u << 106u;
    QTest::newRow("past the last key") << 84u << 0u;
    QTest::newRow("largest index") << std::numeric_limits<uint32_t>::max() << 0u;
}

void TestKeyboardLayout::midiIndexForKey()
{
    QFETCH(uint32_t, key);
    QFETCH(uint32_t, note);
    QCOMPARE(KPPianoKeysView::midiIndexForKey(key), note);
}

// Every note from C1 to B7 has one key; white keys name the naturals and black keys the
// sharps, each group rising from left to right.
void TestKeyboardLayout::midiNotesCoverTheKeyboardOnce()
{
    QSet<uint32_t> notes;
    uint32_t previousWhite = 0;
    uint32_t previousBlack = 0;
    for (uint32_t key = 0; key < KPPianoKeysView::keyCount(); ++key) {
        const uint32_t note = KPPianoKeysView::midiIndexForKey(key);
        notes.insert(note);
        QCOMPARE(KPKeyboardLayout::keyForMidiNote(note), std::optional<uint32_t>(key));
        const bool sharp = QList<uint32_t>{1, 3, 6, 8, 10}.contains(note % 12);
        QCOMPARE(sharp, key >= 49);
        uint32_t& previous = sharp ? previousBlack : previousWhite;
        QVERIFY2(note > previous, qPrintable(QStringLiteral("key %1").arg(key)));
        previous = note;
    }
    QCOMPARE(notes.size(), 84);
    QCOMPARE(*std::min_element(notes.begin(), notes.end()), 24u);
    QCOMPARE(*std::max_element(notes.begin(), notes.end()), 107u);
    QVERIFY(!KPKeyboardLayout::keyForMidiNote(23));
    QVERIFY(!KPKeyboardLayout::keyForMidiNote(108));
}

void TestKeyboardLayout::labelForKey_data()
{
    QTest::addColumn<uint32_t>("key");
    QTest::addColumn<QString>("label");
    QTest::newRow("first key") << 0u << "C1";
    QTest::newRow("C3") << 14u << "C3";
    QTest::newRow("D3") << 15u << "D3";
    QTest::newRow("last C") << 42u << "C7";
    QTest::newRow("last key") << 48u << "B7";
}

void TestKeyboardLayout::labelForKey()
{
    QFETCH(uint32_t, key);
    QFETCH(QString, label);
    QCOMPARE(KPPianoKeysView::labelForKey(key), label);
}

void TestKeyboardLayout::soundNameForKey_data()
{
    QTest::addColumn<uint32_t>("key");
    QTest::addColumn<QString>("name");
    QTest::newRow("C1") << 0u << "c";
    QTest::newRow("E1") << 2u << "e";
    QTest::newRow("B2") << 13u << "b";
    QTest::newRow("B7") << 48u << "b";
    QTest::newRow("C sharp 1") << 49u << "c#";
    QTest::newRow("D sharp 1") << 50u << "d#";
    QTest::newRow("F sharp 1") << 51u << "f#";
    QTest::newRow("G sharp 1") << 52u << "g#";
    QTest::newRow("A sharp 1") << 53u << "a#";
    QTest::newRow("C sharp 2") << 54u << "c#";
    QTest::newRow("A sharp 7") << 83u << "a#";
}

void TestKeyboardLayout::soundNameForKey()
{
    QFETCH(uint32_t, key);
    QFETCH(QString, name);
    QCOMPARE(KPKeyboardLayout::soundNameForKey(key), name);
}

void TestKeyboardLayout::soundPathForKey_data()
{
    QTest::addColumn<uint32_t>("key");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("white key with a sample") << 7u << "c.wav";
    QTest::newRow("black key with a sample") << 56u << "f#.wav";
    QTest::newRow("no sample of that name") << 1u << "";
}

void TestKeyboardLayout::soundPathForKey()
{
    QFETCH(uint32_t, key);
    QFETCH(QString, fileName);
    const QString previousRoot = KPBundle::resourceRoot();
    KPBundle::setResourceRoot(QStringLiteral(KP_TEST_DATA_DIR));
    const QString path = KPPianoKeysView::soundPathForKey(key);
    KPBundle::setResourceRoot(previousRoot);
    if (fileName.isEmpty())
        QVERIFY2(path.isEmpty(), qPrintable(path));
    else
        QCOMPARE(path, QStringLiteral(KP_TEST_DATA_DIR "/") + fileName);
}

// Black keys step by two twelfths of the octave (one more after D sharp), cut to whole points
// at every step, so the cuts add up across an octave.
void TestKeyboardLayout::keyFrames_data()
{
    QTest::addColumn<QSizeF>("white");
    QTest::addColumn<QSizeF>("black");
    QTest::addColumn<uint32_t>("key");
    QTest::addColumn<QRectF>("frame");

    const QSizeF white41(41, 320);
    const QSizeF black25(25, 200);
    QTest::newRow("first white key") << white41 << black25 << 0u << QRectF(0, 0, 41, 320);
    QTest::newRow("C3") << white41 << black25 << 14u << QRectF(574, 0, 41, 320);
    QTest::newRow("last white key") << white41 << black25 << 48u << QRectF(1968, 0, 41, 320);
    QTest::newRow("C sharp 1") << white41 << black25 << 49u << QRectF(23, 0, 25, 200);
    QTest::newRow("D sharp 1") << white41 << black25 << 50u << QRectF(70, 0, 25, 200);
    QTest::newRow("F sharp 1 after the extra twelfth")
        << white41 << black25 << 51u << QRectF(140, 0, 25, 200);
    QTest::newRow("G sharp 1") << white41 << black25 << 52u << QRectF(187, 0, 25, 200);
    QTest::newRow("A sharp 1 with the cuts added up")
        << white41 << black25 << 53u << QRectF(234, 0, 25, 200);
    QTest::newRow("C sharp 4") << white41 << black25 << 64u << QRectF(884, 0, 25, 200);
    QTest::newRow("last black key") << white41 << black25 << 83u << QRectF(1956, 0, 25, 200);

    const QSizeF whiteHalf(50.5, 300);
    const QSizeF blackHalf(30.5, 180);
    QTest::newRow("fractional width: white D1")
        << whiteHalf << blackHalf << 1u << QRectF(50.5, 0, 50.5, 300);
    QTest::newRow("fractional width: C sharp 1")
        << whiteHalf << blackHalf << 49u << QRectF(29, 0, 30.5, 180);
    QTest::newRow("fractional width: F sharp 1")
        << whiteHalf << blackHalf << 51u << QRectF(174, 0, 30.5, 180);
    QTest::newRow("fractional width: C sharp 4")
        << whiteHalf << blackHalf << 64u << QRectF(1089, 0, 30.5, 180);
    QTest::newRow("fractional width: last black key")
        << whiteHalf << blackHalf << 83u << QRectF(2411, 0, 30.5, 180);

    QTest::newRow("missing artwork") << QSizeF(0, 0) << QSizeF(0, 0) << 60u << QRectF(0, 0, 0, 0);
}

void TestKeyboardLayout::keyFrames()
{
    QFETCH(QSizeF, white);
    QFETCH(QSizeF, black);
    QFETCH(uint32_t, key);
    QFETCH(QRectF, frame);
    QCOMPARE(KPKeyboardLayout::keyFrames(white, black)[key], frame);
}

// The 49 white keys lie edge to edge and end exactly at the content width.
void TestKeyboardLayout::whiteKeysTileTheStrip()
{
    for (const qreal width : {41.0, 50.5}) {
        const auto frames = KPKeyboardLayout::keyFrames(QSizeF(width, 300), QSizeF(20, 200));
        for (uint32_t key = 1; key < 49; ++key)
            QCOMPARE(frames[key].left(), frames[key - 1].right());
        QCOMPARE(frames[48].right(), qreal(KPKeyboardLayout::contentWidth(float(width))));
    }
    QCOMPARE(KPKeyboardLayout::contentWidth(41), 2009.0f);
    QCOMPARE(KPKeyboardLayout::contentWidth(50.5), 2474.5f);
}

void TestKeyboardLayout::octaveOffset_data()
{
    QTest::addColumn<uint32_t>("octave");
    QTest::addColumn<float>("whiteWidth");
    QTest::addColumn<float>("viewWidth");
    QTest::addColumn<uint32_t>("offset");
    QTest::newRow("first octave") << 0u << 41.0f << 426.0f << 0u;
    QTest::newRow("C3") << 2u << 41.0f << 426.0f << 574u;
    QTest::newRow("octave before the last") << 5u << 41.0f << 426.0f << 1435u;
    QTest::newRow("last octave shows the right end") << 6u << 41.0f << 426.0f << 1583u;
    QTest::newRow("fractional width: step cut to whole points") << 3u << 50.5f << 900.0f << 1059u;
    QTest::newRow("fractional width: right end cut") << 6u << 50.5f << 900.0f << 1574u;
    QTest::newRow("view wider than the strip") << 6u << 41.0f << 2100.0f << 0u;
    QTest::newRow("tablet: octave 5 would hide 4 points, so it shows the right end")
        << 5u << 66.0f << 920.0f << 2314u;
    QTest::newRow("tablet: octave 4") << 4u << 66.0f << 920.0f << 1848u;
}

void TestKeyboardLayout::octaveOffset()
{
    QFETCH(uint32_t, octave);
    QFETCH(float, whiteWidth);
    QFETCH(float, viewWidth);
    QFETCH(uint32_t, offset);
    QCOMPARE(KPKeyboardLayout::octaveOffset(octave, whiteWidth, viewWidth), offset);
}

void TestKeyboardLayout::keyAtPoint_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<int>("key");
    // White keys 41 x 320 (key 1 spans 41 to 82, key 2 82 to 123); D sharp 1 (key 50)
    // spans 70 to 95 and 0 to 200.
    QTest::newRow("black key over the white key beneath") << QPointF(80, 100) << 50;
    QTest::newRow("white key below the black key") << QPointF(80, 250) << 1;
    QTest::newRow("black key's left edge") << QPointF(70, 0) << 50;
    QTest::newRow("black key's right edge is the white key's") << QPointF(95, 100) << 2;
    QTest::newRow("line between white keys belongs to the right one") << QPointF(41, 250) << 1;
    QTest::newRow("white key between black keys") << QPointF(110, 100) << 2;
    QTest::newRow("below the keys") << QPointF(80, 320) << -1;
    QTest::newRow("past the last key") << QPointF(2009, 10) << -1;
    QTest::newRow("left of the first key") << QPointF(-0.5, 10) << -1;
    QTest::newRow("above the keys") << QPointF(80, -0.5) << -1;
}

void TestKeyboardLayout::keyAtPoint()
{
    QFETCH(QPointF, point);
    QFETCH(int, key);
    const auto frames = KPKeyboardLayout::keyFrames(QSizeF(41, 320), QSizeF(25, 200));
    const std::optional<uint32_t> hit = KPKeyboardLayout::keyAtPoint(frames, point);
    QCOMPARE(hit ? int(*hit) : -1, key);
}

QTEST_GUILESS_MAIN(TestKeyboardLayout)
#include "tst_keyboardlayout.moc"
