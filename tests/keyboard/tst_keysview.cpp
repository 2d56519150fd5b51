// Mouse events from QTest go through the window, as real ones do, so that Qt turns unhandled
// mouse presses into touches.
#define QTEST_QPA_MOUSE_HANDLING

#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysView.h"
#include "keyboard/KPPianoKeysViewDelegate.h"
#include "platform/KPDeviceIdiom.h"

#include <QLabel>
#include <QPointingDevice>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <memory>

Q_DECLARE_METATYPE(KPIdiom)

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
        if (view.keyCollection()[i]->state() != 0)
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
    void offsetSurvivesShowingAndResizing();
    void userCannotScroll();
    void touchSequence_data();
    void touchSequence();
    void touchAfterMovingAnOctave();
    void cancelReleasesEveryKey();
    void mouseIsOneTouch_data();
    void mouseIsOneTouch();
    void mouseDoubleClickSoundsTwice();
    void slideAfterDoubleClick();
    void nothingSentWithoutDelegate();
    void playedFromOutside();

private:
    void showView(int width = 426);
    // A point named in a script, in the view's coordinates: "w14" the lower part of white key
    // 14, "w14+" another point of that part, "b60" the middle of black key 60, "below14" under
    // white key 14, below all keys.
    QPoint placePoint(const QString& place) const;
    void addSingleFingerRows();

    std::unique_ptr<KPPianoKeysView> m_view;
    RecordingDelegate m_delegate;
};

void TestKeysView::initTestCase()
{
    QCoreApplication::setAttribute(Qt::AA_SynthesizeTouchForUnhandledMouseEvents, true);
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
    const QSizeF white = KPPianoKey::sizeForKeyType(0);
    const QSizeF black = KPPianoKey::sizeForKeyType(1);
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

// The view is taller than the keys so that there is room below them.
void TestKeysView::showView(int width)
{
    const int height = int(KPPianoKey::sizeForKeyType(0).height()) + 40;
    m_view = std::make_unique<KPPianoKeysView>(QRect(0, 0, width, height));
    m_view->setKeysDelegate(&m_delegate);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

QPoint TestKeysView::placePoint(const QString& place) const
{
    const qreal whiteHeight = KPPianoKey::sizeForKeyType(0).height();
    const qreal blackHeight = KPPianoKey::sizeForKeyType(1).height();
    const qreal lowerWhite = (whiteHeight + blackHeight) / 2;
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
    QTest::newRow("phone") << KPIdiom::Phone;
    QTest::newRow("tablet") << KPIdiom::Pad;
}

// 49 white keys, then 35 black ones, where the layout puts them; the C keys are labelled;
// C3 stands at the left edge.
void TestKeysView::buildsTheKeyboard()
{
    QFETCH(KPIdiom, idiom);
    KPDeviceIdiom::setCurrent(idiom);
    const QSizeF white = KPPianoKey::sizeForKeyType(0);
    const QSizeF black = KPPianoKey::sizeForKeyType(1);
    KPPianoKeysView view(QRect(0, 0, 400, int(white.height())));

    QCOMPARE(KPPianoKeysView::keyCount(), 84u);
    QCOMPARE(view.keyCollection().size(), 84);
    QCOMPARE(view.contentWidth(), KPKeyboardLayout::contentWidth(float(white.width())));
    const auto frames = KPKeyboardLayout::keyFrames(white, black);
    const QStringList labels = {"C1", "C2", "C3", "C4", "C5", "C6", "C7"};
    for (uint32_t i = 0; i < 84; ++i) {
        const KPPianoKey* key = view.keyCollection()[i];
        QCOMPARE(key->type(), i < 49 ? 0u : 1u);
        QCOMPARE(QRectF(key->geometry()), frames[i]);
        QCOMPARE(key->label()->text(), i < 49 && i % 7 == 0 ? labels[i / 7] : QString());
        const QPointF onKey =
            i < 49 ? QPointF(frames[i].center().x(), frames[i].bottom() - 1) : frames[i].center();
        QCOMPARE(view.keyForLocation(onKey), key);
    }

    QCOMPARE(view.currentOctave(), 2u);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.contentOffset(), QPoint(2 * int(7 * white.width()), 0));
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
    QTest::addColumn<QList<uint32_t>>("directions");
    QTest::addColumn<uint32_t>("octave");

    using L = QList<uint32_t>;
    for (const auto& [name, idiom, width] :
         {std::tuple("phone", KPIdiom::Phone, 426), std::tuple("tablet", KPIdiom::Pad, 920)}) {
        const auto row = [name](const char* what) -> QTestData& {
            return QTest::addRow("%s: %s", name, what);
        };
        row("one up") << idiom << width << L{0} << 3u;
        row("one down") << idiom << width << L{1} << 1u;
        row("down to the first") << idiom << width << L{1, 1} << 0u;
        row("past the first") << idiom << width << L{1, 1, 1} << 0u;
        row("up to the last") << idiom << width << L{0, 0, 0, 0} << 6u;
        row("past the last") << idiom << width << L{0, 0, 0, 0, 0, 0} << 6u;
        row("back from the last") << idiom << width << L{0, 0, 0, 0, 1} << 5u;
        row("unknown direction") << idiom << width << L{2, 7} << 2u;
    }
}

// Each octave scrolls a whole number of octave widths; the last one ends exactly at the right
// end of the strip, so the last key's right edge meets the view's.
void TestKeysView::changeOctave()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(int, width);
    QFETCH(QList<uint32_t>, directions);
    QFETCH(uint32_t, octave);
    KPDeviceIdiom::setCurrent(idiom);
    showView(width);

    for (uint32_t direction : directions)
        m_view->changeOctave(direction);
    QCOMPARE(m_view->currentOctave(), octave);

    const int step = int(7 * KPPianoKey::sizeForKeyType(0).width());
    const QPoint offset = m_view->contentOffset();
    QCOMPARE(offset.y(), 0);
    QCOMPARE(m_view->widget()->pos(), -offset);
    if (octave == 6) {
        const QRect lastKey = m_view->keyCollection()[48]->geometry();
        QCOMPARE(lastKey.right() + 1 - offset.x(), m_view->width());
    } else {
        QCOMPARE(offset.x(), int(octave) * step);
        QCOMPARE(m_view->leftmostShownC(), 7 * octave);
    }
    // The computer keys start at the first C wholly shown.
    const uint32_t firstC = m_view->leftmostShownC();
    QVERIFY(m_view->keyCollection()[firstC]->x() >= offset.x());
    QVERIFY(firstC < 7 || m_view->keyCollection()[firstC - 7]->x() < offset.x());
}

// The piano view makes the keyboard, moves it and narrows it before it shows; the offset that
// changeOctave chose stays.
void TestKeysView::offsetSurvivesShowingAndResizing()
{
    const int step = int(7 * KPPianoKey::sizeForKeyType(0).width());
    KPPianoKeysView view(QRect(0, 0, 480, 360));
    view.changeOctave(0);
    view.setGeometry(27, 0, 426, 360);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.contentOffset(), QPoint(3 * step, 0));
    view.resize(300, 360);
    QCOMPARE(view.contentOffset(), QPoint(3 * step, 0));
    QCOMPARE(view.widget()->height(), 360);

    // At the right end a wider view cannot show the same offset; narrowed again, it does.
    view.resize(426, 360);
    for (int i = 0; i < 3; ++i)
        view.changeOctave(0);
    const QPoint rightEnd = view.contentOffset();
    QCOMPARE(view.keyCollection()[48]->geometry().right() + 1 - rightEnd.x(), 426);
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

    QPointingDevice* device = QTest::createTouchDevice();
    auto sequence = QTest::touchEvent(m_view.get(), device, false);
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
    m_view->changeOctave(0);
    const int lowerWhite = int(KPPianoKey::sizeForKeyType(0).height()) - 5;
    QPointingDevice* device = QTest::createTouchDevice();
    QTest::touchEvent(m_view.get(), device).press(0, QPoint(2, lowerWhite), m_view.get());
    QTest::touchEvent(m_view.get(), device).release(0, QPoint(2, lowerWhite), m_view.get());
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")),
             QStringLiteral("play 21, stopAll, stop 21"));
}

void TestKeysView::cancelReleasesEveryKey()
{
    showView();
    QPointingDevice* device = QTest::createTouchDevice();
    auto sequence = QTest::touchEvent(m_view.get(), device, false);
    sequence.press(0, placePoint(QStringLiteral("w14")), m_view.get())
        .press(1, placePoint(QStringLiteral("b60")), m_view.get());
    sequence.commit();
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("14, 60"));

    QTouchEvent cancel(QEvent::TouchCancel, device);
    QCoreApplication::sendEvent(m_view->widget(), &cancel);
    QCOMPARE(m_delegate.calls.join(QStringLiteral(", ")),
             QStringLiteral("play 14, play 60, stopAll"));
    QCOMPARE(pressedKeys(*m_view), QString());
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
    QPointingDevice* device = QTest::createTouchDevice();
    auto sequence = QTest::touchEvent(m_view.get(), device, false);
    sequence.press(0, placePoint(QStringLiteral("w14")), m_view.get());
    sequence.commit();
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("14"));
    sequence.release(0, placePoint(QStringLiteral("w14")), m_view.get());
    sequence.commit();
    QCOMPARE(pressedKeys(*m_view), QString());
    QVERIFY(m_delegate.calls.isEmpty());
}

// Computer keys and MIDI: the key shows pressed and the delegate hears the velocity.
void TestKeysView::playedFromOutside()
{
    showView();
    m_view->pressKey(20, 90);
    QCOMPARE(pressedKeys(*m_view), QStringLiteral("20"));
    m_view->releaseKey(20);
    m_view->pressKey(84, 127);
    m_view->releaseKey(84);
    QCOMPARE(pressedKeys(*m_view), QString());
    QCOMPARE(m_delegate.calls, (QStringList{"play 20 at 90", "stop 20"}));
}

QTEST_MAIN(TestKeysView)
#include "tst_keysview.moc"
