// Mouse events from QTest go through the window, as real ones do, so that Qt turns unhandled
// mouse presses into touches.
#define QTEST_QPA_MOUSE_HANDLING

#include "keyboard/KPImageView.h"
#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysView.h"
#include "keyboard/KPPianoKeysViewDelegate.h"
#include "performer/KPNotePerformer.h"

#include "KPAudioTestRig.h"
#include "platform/KPDeviceIdiom.h"

#include <QLabel>
#include <QPointingDevice>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <memory>

Q_DECLARE_METATYPE(KPIdiom)
Q_DECLARE_METATYPE(KPOctaveDirection)

namespace {

class RecordingDelegate : public KPPianoKeysViewDelegate
{
public:
    void playKey(uint32_t key) override { calls << QStringLiteral("play %1").arg(key); }
    void playKey(uint32_t key, uint8_t velocity) override
    {
        calls << QStringLiteral("play %1 at %2").arg(key).arg(velocity);
    }
    void stopKey(uint32_t key) override { calls << QStringLiteral("stop %1").arg(key); }
    void stopAll() override { calls << QStringLiteral("stopAll"); }

    QStringList calls;
};

QString pressedKeys(const KPPianoKeysView& view)
{
    QStringList pressed;
    for (int i = 0; i < view.keyCollection().size(); ++i) {
        if (view.keyCollection()[i]->state() == KPPianoKey::State::Down)
            pressed << QString::number(i);
    }
    return pressed.join(QStringLiteral(", "));
}

struct TouchPoint
{
    QChar action; // p(ress), m(ove), s(tationary), r(elease)
    int id = 0;
    QString place;
};

// "p0 w14, p1 b60 | m0 w15, s1 | r0 w15, r1 b60": frames split by '|', points by ','.
QList<QList<TouchPoint>> parseFrames(const QString& script)
{
    QList<QList<TouchPoint>> frames;
    for (const QString& frameText : script.split(QLatin1Char('|'))) {
        QList<TouchPoint> frame;
        for (const QString& pointText : frameText.split(QLatin1Char(','))) {
            const QStringList words = pointText.simplified().split(QLatin1Char(' '));
            TouchPoint point;
            point.action = words[0][0];
            point.id = words[0].mid(1).toInt();
            point.place = words.value(1);
            frame << point;
        }
        frames << frame;
    }
    return frames;
}

} // namespace

class TestKeysView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void buildsTheKeyboard_data();
    void buildsTheKeyboard();
    void blackKeysShowAboveWhiteKeys();
    void changeOctave_data();
    void changeOctave();
    void octaveStopsOfEachDevice_data();
    void octaveStopsOfEachDevice();
    void offsetSurvivesShowingAndResizing();
    void userCannotScroll();
    void touchSequence_data();
    void touchSequence();
    void touchAfterMovingAnOctave();
    void cancelReleasesEveryKey();
    void windowGoingAwayCancelsTheTouches_data();
    void windowGoingAwayCancelsTheTouches();
    void mouseIsOneTouch_data();
    void mouseIsOneTouch();
    void mouseDoubleClickSoundsTwice();
    void slideAfterDoubleClick();
    void nothingSentWithoutDelegate();
    void playedFromOutside();
    void dynamicsTakeTheVelocityFromWhereAKeyIsStruck();

private:
    void showView(int width = 426);
    // A point named in a script, in the view's coordinates: "w14" the lower part of white key
    // 14, "w14+" another point of that part, "b60" the middle of black key 60, "below14" under
    // white key 14, below all keys.
    QPoint placePoint(const QString& place) const;
    void addSingleFingerRows();

    std::unique_ptr<KPPianoKeysView> m_view;
    RecordingDelegate m_delegate;
    std::unique_ptr<QPointingDevice> m_touchScreen;
};

void TestKeysView::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_SynthesizeTouchForUnhandledMouseEvents, true);
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
    m_touchScreen.reset(QTest::createTouchDevice());
    const QSizeF white = KPPianoKey::sizeForKeyType(KPPianoKey::Type::White);
    const QSizeF black = KPPianoKey::sizeForKeyType(KPPianoKey::Type::Black);
    QVERIFY2(!white.isEmpty() && !black.isEmpty(), "the key pictures are missing");
    QVERIFY(black.height() < white.height());
}

void TestKeysView::init()
{
    m_delegate.calls.clear();
}

void TestKeysView::cleanup()
{
    m_view.reset();
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
}

// The keys are as high as the view was made, 320 points on the phone; the view grows taller
// afterwards so that there is room below them.
void TestKeysView::showView(int width)
{
    m_view = std::make_unique<KPPianoKeysView>(QRect(0, 0, width, 320));
    m_view->resize(width, 360);
    m_view->setKeysDelegate(&m_delegate);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

QPoint TestKeysView::placePoint(const QString& place) const
{
    const qreal whiteHeight = 320;
    const qreal blackHeight = 200;
    const qreal lowerWhite = (whiteHeight + blackHeight) / 2;
    // Beside the view, where the strip goes on hidden under the case.
    if (place == u"leftOfView")
        return QPoint(-10, int(lowerWhite));
    if (place == u"rightOfView")
        return QPoint(m_view->width() + 10, int(lowerWhite));
    const auto keyFrame = [this](QStringView number) {
        return QRectF(m_view->keyCollection().at(number.toInt())->geometry());
    };
    QPointF content;
    if (place.startsWith(QLatin1String("below"))) {
        content = QPointF(keyFrame(QStringView(place).mid(5)).center().x(),
                          (whiteHeight + m_view->height()) / 2);
    } else if (place.startsWith(QLatin1Char('w')) && place.endsWith(QLatin1Char('+'))) {
        const QRectF frame = keyFrame(QStringView(place).mid(1).chopped(1));
        content = QPointF(frame.left() + frame.width() / 4, lowerWhite);
    } else if (place.startsWith(QLatin1Char('w'))) {
        content = QPointF(keyFrame(QStringView(place).mid(1)).center().x(), lowerWhite);
    } else if (place.startsWith(QLatin1Char('b'))) {
        content = keyFrame(QStringView(place).mid(1)).center();
    } else {
        qFatal("unknown place %s", qPrintable(place));
    }
    return (content - QPointF(m_view->contentOffset())).toPoint();
}

void TestKeysView::buildsTheKeyboard_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<int>("height");
    QTest::addColumn<QSizeF>("white");
    QTest::addColumn<QSizeF>("black");
    // Where the five black keys of the first octave start; each octave repeats them.
    QTest::addColumn<QList<qreal>>("blackKeysX");
    using X = QList<qreal>;
    QTest::newRow("phone") << KPIdiom::Phone << 320 << QSizeF(40, 320) << QSizeF(24, 200)
                           << X{23, 69, 138, 184, 230};
    QTest::newRow("tablet") << KPIdiom::Pad << 768 << QSizeF(66, 768) << QSizeF(40, 480)
                            << X{38, 115, 230, 307, 384};
    // The phone's pictures scaled by 2.4 to the tablet-sized view.
    QTest::newRow("other device") << KPIdiom::Other << 768 << QSizeF(96, 768) << QSizeF(57.6, 480)
                                  << X{56, 168, 336, 448, 560};
}

// 49 white keys, then 35 black ones, as high as the view; the C keys are labelled; C3 stands at
// the left edge.
void TestKeysView::buildsTheKeyboard()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(int, height);
    QFETCH(QSizeF, white);
    QFETCH(QSizeF, black);
    QFETCH(QList<qreal>, blackKeysX);
    KPDeviceIdiom::setCurrent(idiom);
    KPPianoKeysView view(QRect(0, 0, 400, height));

    QCOMPARE(KPPianoKeysView::keyCount(), 84u);
    QCOMPARE(view.keyCollection().size(), 84);
    QCOMPARE(view.contentWidth(), float(49 * white.width()));
    const QStringList labels = {"C1", "C2", "C3", "C4", "C5", "C6", "C7"};
    const qreal octave = 7 * white.width();
    for (uint32_t i = 0; i < 84; ++i) {
        const KPPianoKey* key = view.keyCollection()[i];
        const bool isWhite = i < 49;
        const QRectF frame =
            isWhite ? QRectF(QPointF(i * white.width(), 0), white)
                    : QRectF(QPointF((i - 49) / 5 * octave + blackKeysX[(i - 49) % 5], 0), black);
        QCOMPARE(key->type(), isWhite ? KPPianoKey::Type::White : KPPianoKey::Type::Black);
        QCOMPARE(QRectF(key->geometry()).topLeft(), frame.topLeft());
        QCOMPARE(key->upImageView()->size(), frame.size().toSize());
        QCOMPARE(key->label()->text(), isWhite && i % 7 == 0 ? labels[i / 7] : QString());
        const QPointF onKey =
            isWhite ? QPointF(frame.center().x(), frame.bottom() - 1) : frame.center();
        QCOMPARE(view.keyForLocation(onKey), key);
    }

    QCOMPARE(view.currentOctave(), 2u);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.contentOffset(), QPoint(2 * int(octave), 0));
    QCOMPARE(view.keyForLocation(QPointF(view.contentOffset()) + QPointF(1, white.height() - 1)),
             view.keyCollection()[14]);
}

// What shows on the screen where a black key lies over a white one is the black key.
void TestKeysView::blackKeysShowAboveWhiteKeys()
{
    showView();
    const QImage shot = m_view->grab().toImage();
    const QColor onBlack = shot.pixelColor(placePoint(QStringLiteral("b60")));
    const QColor onWhite = shot.pixelColor(placePoint(QStringLiteral("w15")));
    QVERIFY2(onBlack.lightness() + 60 < onWhite.lightness(),
             qPrintable(
                 QStringLiteral("black key %1, white key %2").arg(onBlack.name(), onWhite.name())));
}

void TestKeysView::changeOctave_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<KPOctaveDirection>>("directions");
    QTest::addColumn<uint32_t>("octave");
    QTest::addColumn<int>("offset");

    using L = QList<KPOctaveDirection>;
    const auto U = KPOctaveDirection::Higher;
    const auto D = KPOctaveDirection::Lower;
    // Octave steps of 280 points on the phone, 462 on the tablet.
    QTest::newRow("phone: one up") << KPIdiom::Phone << 426 << L{U} << 3u << 840;
    QTest::newRow("phone: one down") << KPIdiom::Phone << 426 << L{D} << 1u << 280;
    QTest::newRow("phone: down to the first") << KPIdiom::Phone << 426 << L{D, D} << 0u << 0;
    QTest::newRow("phone: past the first") << KPIdiom::Phone << 426 << L{D, D, D} << 0u << 0;
    QTest::newRow("phone: up to the right end")
        << KPIdiom::Phone << 426 << L{U, U, U, U} << 6u << 1534;
    QTest::newRow("phone: past the right end")
        << KPIdiom::Phone << 426 << L{U, U, U, U, U, U} << 6u << 1534;
    QTest::newRow("phone: back from the right end")
        << KPIdiom::Phone << 426 << L{U, U, U, U, D} << 5u << 1400;
    QTest::newRow("tablet: one up") << KPIdiom::Pad << 920 << L{U} << 3u << 1386;
    QTest::newRow("tablet: down to the first") << KPIdiom::Pad << 920 << L{D, D} << 0u << 0;
    // Octave 5 would hide 4 points of B7: it shows the right end, and is the last stop.
    QTest::newRow("tablet: up to the right end") << KPIdiom::Pad << 920 << L{U, U, U} << 5u << 2314;
    QTest::newRow("tablet: past the right end")
        << KPIdiom::Pad << 920 << L{U, U, U, U, U} << 5u << 2314;
    QTest::newRow("tablet: back from the right end")
        << KPIdiom::Pad << 920 << L{U, U, U, U, D} << 4u << 1848;
}

// Each octave scrolls a whole number of octave widths; the right end shows the last key's right
// edge at the view's.
void TestKeysView::changeOctave()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(int, width);
    QFETCH(QList<KPOctaveDirection>, directions);
    QFETCH(uint32_t, octave);
    QFETCH(int, offset);
    KPDeviceIdiom::setCurrent(idiom);
    m_view = std::make_unique<KPPianoKeysView>(
        QRect(0, 0, width, int(KPPianoKey::sizeForKeyType(KPPianoKey::Type::White).height())));
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));

    for (KPOctaveDirection direction : directions)
        m_view->changeOctave(direction);
    QCOMPARE(m_view->currentOctave(), octave);
    QCOMPARE(m_view->contentOffset(), QPoint(offset, 0));
    QCOMPARE(m_view->widget()->pos(), -m_view->contentOffset());
}

void TestKeysView::octaveStopsOfEachDevice_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<QSize>("view");
    QTest::addColumn<QList<int>>("stops");
    QTest::newRow("phone: C1 to C6, then F6 at the right end")
        << KPIdiom::Phone << QSize(426, 320) << QList<int>{0, 280, 560, 840, 1120, 1400, 1534};
    QTest::newRow("tablet: C1 to C5, then the right end")
        << KPIdiom::Pad << QSize(920, 768) << QList<int>{0, 462, 924, 1386, 1848, 2314};
    QTest::newRow("other device: C1 to C6, then the right end")
        << KPIdiom::Other << QSize(970, 768) << QList<int>{0, 672, 1344, 2016, 2688, 3360, 3734};
}

// Moving up from the first octave stops where the strip stops: the octave counts only moves
// that were made, and the way on is closed at each end.
void TestKeysView::octaveStopsOfEachDevice()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(QSize, view);
    QFETCH(QList<int>, stops);
    KPDeviceIdiom::setCurrent(idiom);
    KPPianoKeysView keys(QRect(QPoint(0, 0), view));
    keys.show();
    QVERIFY(QTest::qWaitForWindowExposed(&keys));
    while (keys.canChangeOctave(KPOctaveDirection::Lower))
        keys.changeOctave(KPOctaveDirection::Lower);
    QList<int> seen{keys.contentOffset().x()};
    while (keys.canChangeOctave(KPOctaveDirection::Higher)) {
        keys.changeOctave(KPOctaveDirection::Higher);
        seen << keys.contentOffset().x();
    }
    QCOMPARE(seen, stops);
    QCOMPARE(keys.currentOctave(), uint32_t(stops.size() - 1));
    keys.changeOctave(KPOctaveDirection::Higher);
    QCOMPARE(keys.currentOctave(), uint32_t(stops.size() - 1));
    keys.changeOctave(KPOctaveDirection::Lower);
    QCOMPARE(keys.contentOffset().x(), stops[stops.size() - 2]);
}

// The piano view makes the keyboard, moves it and narrows it before it shows; the offset that
// changeOctave chose stays.
void TestKeysView::offsetSurvivesShowingAndResizing()
{
    KPPianoKeysView view(QRect(0, 0, 480, 320));
    view.changeOctave(KPOctaveDirection::Higher);
    view.setGeometry(27, 0, 426, 320);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.contentOffset(), QPoint(840, 0));
    view.resize(300, 360);
    QCOMPARE(view.contentOffset(), QPoint(840, 0));
    QCOMPARE(view.widget()->height(), 360);

    // At the right end a wider view cannot show the same offset; narrowed again, it does.
    view.resize(426, 360);
    for (int i = 0; i < 3; ++i)
        view.changeOctave(KPOctaveDirection::Higher);
    const QPoint rightEnd = view.contentOffset();
    QCOMPARE(rightEnd, QPoint(1960 - 426, 0));
    view.resize(480, 360);
    view.resize(426, 360);
    QCOMPARE(view.contentOffset(), rightEnd);
}

// Wheels, keys and focus changes leave the strip where changeOctave put it.
void TestKeysView::userCannotScroll()
{
    showView();
    const QPoint offset = m_view->contentOffset();
    QVERIFY(offset.x() > 0);

    const QPointF inside(50, 50);
    for (const QPoint delta : {QPoint(-120, 0), QPoint(0, -120), QPoint(120, 120)}) {
        QWheelEvent wheel(inside, m_view->mapToGlobal(inside), QPoint(), delta, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(m_view->viewport(), &wheel);
        QCOMPARE(m_view->contentOffset(), offset);
    }
    for (const Qt::Key key :
         {Qt::Key_Right, Qt::Key_Left, Qt::Key_PageDown, Qt::Key_End, Qt::Key_Home}) {
        QTest::keyClick(m_view.get(), key);
        QCOMPARE(m_view->contentOffset(), offset);
    }
}

// The phone keyboard from C3: white keys 14 (C3) to 20 (B3), black keys 59 (C sharp 3) to 63
// (A sharp 3).
void TestKeysView::addSingleFingerRows()
{
    QTest::newRow("tap on a white key") << "p0 w14 | r0 w14"
                                        << "play 14, stopAll, stop 14"
                                        << "";
    QTest::newRow("black key over the white key") << "p0 b60 | r0 b60"
                                                  << "play 60, stopAll, stop 60"
                                                  << "";
    QTest::newRow("touch below the keys") << "p0 below14 | r0 below14"
                                          << "stopAll"
                                          << "";
    QTest::newRow("from below the keys onto a key") << "p0 below14 | m0 w14 | r0 w14"
                                                    << "play 14, stopAll, stop 14"
                                                    << "";
    QTest::newRow("slide from C to D") << "p0 w14 | m0 w15"
                                       << "play 14, stop 14, play 15"
                                       << "15";
    QTest::newRow("slide across three keys")
        << "p0 w14 | m0 w15 | m0 w16 | r0 w16"
        << "play 14, stop 14, play 15, stop 15, play 16, stopAll, stop 16"
        << "";
    QTest::newRow("slide from a white onto a black key") << "p0 w15 | m0 b60"
                                                         << "play 15, stop 15, play 60"
                                                         << "60";
    QTest::newRow("slide off the keys") << "p0 w14 | m0 below14 | r0 below14"
                                        << "play 14, stop 14, stopAll"
                                        << "";
    QTest::newRow("move within a key") << "p0 w14 | m0 w14+ | r0 w14+"
                                       << "play 14, stopAll, stop 14"
                                       << "";
    QTest::newRow("move below the keys") << "p0 below14 | m0 below16"
                                         << ""
                                         << "";
    // B2 lies hidden left of C3, F4 right of the view's end.
    QTest::newRow("slide out of the view to the left") << "p0 w14 | m0 leftOfView | r0 leftOfView"
                                                       << "play 14, stop 14, stopAll"
                                                       << "";
    QTest::newRow("slide out of the view to the right and back")
        << "p0 w20 | m0 rightOfView | m0 w20"
        << "play 20, stop 20, play 20"
        << "20";
}

void TestKeysView::touchSequence_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QString>("pressed");

    addSingleFingerRows();
    QTest::newRow("two fingers in one event") << "p0 w14, p1 b60"
                                              << "play 14, play 60"
                                              << "14, 60";
    QTest::newRow("two fingers in one event, other order") << "p0 b60, p1 w14"
                                                           << "play 60, play 14"
                                                           << "14, 60";
    QTest::newRow("lifting the last two fingers at once")
        << "p0 w14, p1 w16 | r0 w14, r1 w16"
        << "play 14, play 16, stopAll, stop 14, stop 16"
        << "";
    QTest::newRow("one finger lifts while another stays")
        << "p0 w14 | p1 w16, s0 | r1 w16, s0 | r0 w14"
        << "play 14, play 16, stop 16, stopAll, stop 14"
        << "";
    QTest::newRow("a finger lifts below the keys while another stays")
        << "p0 w14, p1 below16 | r1 below16, s0"
        << "play 14"
        << "14";
    QTest::newRow("two fingers slide together")
        << "p0 w14, p1 w16 | m0 w15, m1 w17"
        << "play 14, play 16, stop 14, play 15, stop 16, play 17"
        << "15, 17";
    QTest::newRow("one finger slides while another holds") << "p0 w14, p1 w17 | m0 w15, s1"
                                                           << "play 14, play 17, stop 14, play 15"
                                                           << "15, 17";
    QTest::newRow("a finger lifts from a key another presses in the same event")
        << "p0 w14 | r0 w14, p1 w14"
        << "play 14, stop 14, play 14"
        << "14";
    QTest::newRow("a finger leaves a key another presses in the same event")
        << "p0 w14 | m0 w15, p1 w14"
        << "play 14, stop 14, play 15, play 14"
        << "14, 15";
}

// Each row plays a script of touch frames on the shown keyboard and lists what the delegate
// heard and which keys are left pressed. The keyboard never scrolls under the fingers.
void TestKeysView::touchSequence()
{
    QFETCH(QString, script);
    QFETCH(QString, calls);
    QFETCH(QString, pressed);
    showView();
    const QPoint offset = m_view->contentOffset();

    auto sequence = QTest::touchEvent(m_view.get(), m_touchScreen.get(), false);
    for (const QList<TouchPoint>& frame : parseFrames(script)) {
        for (const TouchPoint& point : frame) {
            switch (point.action.toLatin1()) {
            case 'p':
                sequence.press(point.id, placePoint(point.place), m_view.get());
                break;
            case 'm':
                sequence.move(point.id, placePoint(point.place), m_view.get());
                break;
            case 's':
                sequence.stationary(point.id);
                break;
            case 'r':
                sequence.release(point.id, placePoint(point.place), m_view.get());
                break;
            default:
                QFAIL(qPrintable(QStringLiteral("unknown action in ") + script));
            }
        }
        sequence.commit();
    }

    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")), calls);
    QCOMPARE(pressedKeys(*m_view), pressed);
    QCOMPARE(m_view->contentOffset(), offset);
}

// Touches are read in the strip's coordinates: after one octave up, the key at the left edge
// is C4.
void TestKeysView::touchAfterMovingAnOctave()
{
    showView();
    m_view->changeOctave(KPOctaveDirection::Higher);
    const int lowerWhite = 320 - 5;
    QTest::touchEvent(m_view.get(), m_touchScreen.get())
        .press(0, QPoint(2, lowerWhite), m_view.get());
    QTest::touchEvent(m_view.get(), m_touchScreen.get())
        .release(0, QPoint(2, lowerWhite), m_view.get());
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")),
             QStringLiteral("play 21, stopAll, stop 21"));
}

void TestKeysView::cancelReleasesEveryKey()
{
    showView();
    auto sequence = QTest::touchEvent(m_view.get(), m_touchScreen.get(), false);
    sequence.press(0, placePoint(QStringLiteral("w14")), m_view.get())
        .press(1, placePoint(QStringLiteral("b60")), m_view.get());
    sequence.commit();
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("14, 60"));

    QTouchEvent cancel(QEvent::TouchCancel, m_touchScreen.get());
    QCoreApplication::sendEvent(m_view->widget(), &cancel);
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")),
             QStringLiteral("play 14, play 60, stopAll"));
    QCOMPARE(pressedKeys(*m_view), QString());
}

void TestKeysView::windowGoingAwayCancelsTheTouches_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("deactivated") << "deactivated";
    QTest::newRow("minimised") << "minimised";
    QTest::newRow("hidden") << "hidden";
}

// A finger holds C3 when the window goes: the key is released at once as by a cancelled touch,
// and that finger plays nothing more until it lifts.
void TestKeysView::windowGoingAwayCancelsTheTouches()
{
    QFETCH(QString, how);
    showView();
    // A screen of its own: the finger it leaves down must not touch the next test.
    const std::unique_ptr<QPointingDevice> device(QTest::createTouchDevice());
    auto finger = QTest::touchEvent(m_view.get(), device.get(), false);
    finger.press(0, placePoint(QStringLiteral("w14")), m_view.get()).commit();
    if (how == u"deactivated") {
        QEvent deactivate(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(m_view.get(), &deactivate);
    } else if (how == u"minimised") {
        m_view->showMinimized();
    } else {
        m_view->hide();
    }
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")), QStringLiteral("play 14, stopAll"));
    QCOMPARE(pressedKeys(*m_view), QString());
    if (how != u"deactivated")
        return;
    finger.move(0, placePoint(QStringLiteral("w15")), m_view.get()).commit();
    finger.release(0, placePoint(QStringLiteral("w15")), m_view.get()).commit();
    QEvent again(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(m_view.get(), &again);
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")), QStringLiteral("play 14, stopAll"));
}

void TestKeysView::mouseIsOneTouch_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QString>("pressed");
    addSingleFingerRows();
}

// The same single-finger scripts played with the left mouse button.
void TestKeysView::mouseIsOneTouch()
{
    QFETCH(QString, script);
    QFETCH(QString, calls);
    QFETCH(QString, pressed);
    showView();

    for (const QList<TouchPoint>& frame : parseFrames(script)) {
        const TouchPoint& point = frame.first();
        const QPoint at = placePoint(point.place);
        if (point.action == QLatin1Char('p'))
            QTest::mousePress(m_view.get(), Qt::LeftButton, {}, at);
        else if (point.action == QLatin1Char('m'))
            QTest::mouseMove(m_view.get(), at);
        else
            QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, at);
    }
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")), calls);
    QCOMPARE(pressedKeys(*m_view), pressed);
    if (!pressed.isEmpty())
        QTest::mouseRelease(m_view.get(), Qt::LeftButton, {}, QPoint(1, 1));
}

// Qt makes no touch of the second click of a double click; it must sound all the same.
void TestKeysView::mouseDoubleClickSoundsTwice()
{
    showView();
    QTest::mouseDClick(m_view.get(), Qt::LeftButton, {}, placePoint(QStringLiteral("b60")));
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")),
             QStringLiteral("play 60, stopAll, stop 60, play 60, stopAll, stop 60"));
    QCOMPARE(pressedKeys(*m_view), QString());

    m_delegate.calls.clear();
    QTest::mouseClick(m_view.get(), Qt::LeftButton, {}, placePoint(QStringLiteral("w14")));
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")),
             QStringLiteral("play 14, stopAll, stop 14"));
}

// The button of a double click's second click held down and dragged: the mouse is still one
// finger sliding over the keys.
void TestKeysView::slideAfterDoubleClick()
{
    showView();
    QWidget* strip = m_view->widget();
    const auto send = [&](QEvent::Type type, const QString& place, Qt::MouseButton button,
                          Qt::MouseButtons buttons) {
        const QPointF at = QPointF(placePoint(place) + m_view->contentOffset());
        QMouseEvent event(type, at, strip->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(strip, &event);
    };
    send(QEvent::MouseButtonDblClick, QStringLiteral("w14"), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, QStringLiteral("w14+"), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, QStringLiteral("w15"), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("15"));
    send(QEvent::MouseButtonRelease, QStringLiteral("w15"), Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseMove, QStringLiteral("w16"), Qt::NoButton, Qt::NoButton);
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")),
             QStringLiteral("play 14, stop 14, play 15, stopAll, stop 15"));
    QCOMPARE(pressedKeys(*m_view), QString());
}

void TestKeysView::nothingSentWithoutDelegate()
{
    showView();
    m_view->setKeysDelegate(nullptr);
    auto sequence = QTest::touchEvent(m_view.get(), m_touchScreen.get(), false);
    sequence.press(0, placePoint(QStringLiteral("w14")), m_view.get());
    sequence.commit();
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("14"));
    sequence.release(0, placePoint(QStringLiteral("w14")), m_view.get());
    sequence.commit();
    QCOMPARE(pressedKeys(*m_view), QString());
    QVERIFY(m_delegate.calls.isEmpty());
}

// Computer keys, MIDI and playback: the key shows what the performer plays and stays down while
// any player holds its note; none of it goes back to the delegate.
void TestKeysView::playedFromOutside()
{
    showView();
    KPAudioTest::AudioRig rig = KPAudioTest::AudioRig::withPlayer();
    KPNotePerformer performer(rig.player());
    performer.addListener(m_view.get());
    const uint32_t b3 = KPKeyboardLayout::midiIndexForKey(20);
    performer.noteOn(KPNoteSource::Midi, b3, 90);
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("20"));
    performer.noteOn(KPNoteSource::ComputerKeys, b3, 127);
    performer.noteOff(KPNoteSource::Midi, b3);
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("20"));
    performer.noteOff(KPNoteSource::ComputerKeys, b3);
    performer.noteOn(KPNoteSource::Midi, 12, 127);
    QCOMPARE(pressedKeys(*m_view), QString());
    QVERIFY(m_delegate.calls.isEmpty());
    performer.removeListener(m_view.get());
}

// Off, every press is full; on, softer towards the key's far end, louder near the player, also
// for a key reached by sliding.
void TestKeysView::dynamicsTakeTheVelocityFromWhereAKeyIsStruck()
{
    showView();
    const auto tap = [this](const QString& place) {
        auto sequence = QTest::touchEvent(m_view.get(), m_touchScreen.get(), false);
        sequence.press(0, placePoint(place), m_view.get()).commit();
        sequence.release(0, placePoint(place), m_view.get()).commit();
    };
    tap(QStringLiteral("w14"));
    m_view->setDynamics(true);
    tap(QStringLiteral("w14"));
    tap(QStringLiteral("b60"));
    auto slide = QTest::touchEvent(m_view.get(), m_touchScreen.get(), false);
    slide.press(0, placePoint(QStringLiteral("b60")), m_view.get()).commit();
    slide.move(0, placePoint(QStringLiteral("w16")), m_view.get()).commit();
    slide.release(0, placePoint(QStringLiteral("w16")), m_view.get()).commit();
    QCOMPARE(m_delegate.calls.filter(QStringLiteral("play")),
             (QStringList{"play 14", "play 14 at 108", "play 60 at 76", "play 60 at 76",
                          "play 16 at 108"}));
    const QRectF c3 = m_view->keyCollection().at(14)->geometry();
    QCOMPARE(m_view->velocityAt(14, c3.topLeft()), uint8_t(24));
    QCOMPARE(m_view->velocityAt(14, c3.bottomLeft() + QPointF(0, 50)), uint8_t(127));
}

QTEST_MAIN(TestKeysView)
#include "tst_keysview.moc"
