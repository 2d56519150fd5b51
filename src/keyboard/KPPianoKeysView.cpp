#include "keyboard/KPPianoKeysView.h"

#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysViewDelegate.h"
#include "platform/KPBundle.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTouchEvent>
#include <QVarLengthArray>
#include <QWheelEvent>

#include <cmath>

namespace {

// Key index of an octave's C = 7 × octave.
constexpr uint32_t kWhiteKeysPerOctave = 7;

// Ten fingers fit without allocating.
using TouchList = QVarLengthArray<KPPianoKeysView::Touch, 10>;

} // namespace

KPPianoKeysView::KPPianoKeysView(const QRect& frame, QWidget* parent)
    : QScrollArea(parent), m_strip(new QWidget)
{
    setGeometry(frame);
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    viewport()->setAutoFillBackground(false);

    m_strip->setAttribute(Qt::WA_AcceptTouchEvents);

    const QSizeF whiteKeySize = KPPianoKey::sizeForKeyType(KPPianoKey::whiteKeyType);
    const QSizeF blackKeySize = KPPianoKey::sizeForKeyType(KPPianoKey::blackKeyType);
    m_whiteKeyWidth = float(whiteKeySize.width());
    m_keyFrames = KPKeyboardLayout::keyFrames(whiteKeySize, blackKeySize);

    // White keys first, then black ones, so that the black keys lie above.
    m_keyCollection.reserve(keyCount());
    for (uint32_t i = 0; i < keyCount(); ++i) {
        const bool white = KPKeyboardLayout::isWhiteKey(i);
        auto* key =
            new KPPianoKey(white ? KPPianoKey::whiteKeyType : KPPianoKey::blackKeyType, m_strip);
        if (white && i % 7 == 0)
            key->label()->setText(labelForKey(i));
        key->move(m_keyFrames[i].topLeft().toPoint());
        m_keyCollection.append(key);
    }

    fitStripToView();
    setWidget(m_strip);
    m_strip->setAutoFillBackground(false);

    // The strip moves only through changeOctave: no scroll bars, no wheel, no keys, no pan.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    viewport()->ungrabGesture(Qt::PanGesture);

    changeOctave(0);
    changeOctave(0);
}

uint32_t KPPianoKeysView::midiIndexForKey(uint32_t key)
{
    return KPKeyboardLayout::midiIndexForKey(key);
}

QString KPPianoKeysView::labelForKey(uint32_t whiteKey)
{
    return KPKeyboardLayout::labelForKey(whiteKey);
}

QString KPPianoKeysView::soundPathForKey(uint32_t key)
{
    return KPBundle::pathForResource(KPKeyboardLayout::soundNameForKey(key), QStringLiteral("wav"));
}

uint32_t KPPianoKeysView::alignmentValueForOctaveKey(uint32_t position)
{
    return KPKeyboardLayout::alignmentValueForOctaveKey(position);
}

// One octave per call, between 0 and 6; reaching the last octave shows the right end of the
// strip exactly, wherever that falls.
void KPPianoKeysView::changeOctave(uint32_t direction)
{
    if (direction == 0) {
        if (m_currentOctave == KPKeyboardLayout::lastOctave)
            return;
        ++m_currentOctave;
    } else if (direction == 1) {
        if (m_currentOctave == 0)
            return;
        --m_currentOctave;
    } else {
        return;
    }
    const uint32_t x =
        KPKeyboardLayout::octaveOffset(m_currentOctave, m_whiteKeyWidth, float(width()));
    setContentOffset(QPoint(int(x), m_contentOffset.y()));
}

KPPianoKey* KPPianoKeysView::keyForLocation(QPointF point) const
{
    const std::optional<uint32_t> key = keyIndexForLocation(point);
    return key ? m_keyCollection[*key] : nullptr;
}

std::optional<uint32_t> KPPianoKeysView::keyIndexForLocation(QPointF point) const
{
    return KPKeyboardLayout::keyAtPoint(m_keyFrames, point);
}

// The first C whose key starts at or right of the view's left edge (half a point of slack for
// rounding); the last octave's C when the view is wider than the strip allows.
uint32_t KPPianoKeysView::leftmostShownC() const
{
    const double left = contentOffset().x() - 0.5;
    for (uint32_t octave = 0; octave < KPKeyboardLayout::lastOctave; ++octave) {
        if (m_keyFrames[kWhiteKeysPerOctave * octave].left() >= left)
            return kWhiteKeysPerOctave * octave;
    }
    return kWhiteKeysPerOctave * KPKeyboardLayout::lastOctave;
}

QPoint KPPianoKeysView::contentOffset() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void KPPianoKeysView::touchesBegan(Touches touches, qsizetype /*touchesInEvent*/)
{
    for (const Touch& touch : touches) {
        if (const auto key = keyIndexForLocation(touch.location))
            pressKey(*key);
    }
}

// A finger that crosses from one key to another (or onto or off the keys) releases what it
// left before it presses what it reached; a move within one key, or outside all keys, sends
// nothing.
void KPPianoKeysView::touchesMoved(Touches touches, qsizetype /*touchesInEvent*/)
{
    for (const Touch& touch : touches) {
        const auto previous = keyIndexForLocation(touch.previousLocation);
        const auto current = keyIndexForLocation(touch.location);
        if (previous == current)
            continue;
        if (previous)
            releaseKey(*previous);
        if (current)
            pressKey(*current);
    }
}

// When every finger on the keyboard lifts at once, all keys are released first; then each
// lifted finger releases the key under it, even one the first step has already released.
void KPPianoKeysView::touchesEnded(Touches touches, qsizetype touchesInEvent)
{
    if (qsizetype(touches.size()) == touchesInEvent)
        releaseAllKeys();
    for (const Touch& touch : touches) {
        if (const auto key = keyIndexForLocation(touch.location))
            releaseKey(*key);
    }
}

void KPPianoKeysView::touchesCancelled(Touches /*touches*/, qsizetype /*touchesInEvent*/)
{
    releaseAllKeys();
}

// Sorts the points of one event by what happened to them. Lifts go first, then moves, then
// new fingers: when one finger leaves a key in the same event that another reaches it, the
// key ends pressed and sounding. Stationary points only count as fingers still down.
void KPPianoKeysView::handleTouchEvent(const QTouchEvent& event)
{
    TouchList pressed;
    TouchList moved;
    TouchList released;
    for (const QEventPoint& point : event.points()) {
        switch (point.state()) {
        case QEventPoint::State::Pressed:
            pressed.append(Touch{point.position(), point.lastPosition()});
            break;
        case QEventPoint::State::Updated:
            moved.append(Touch{point.position(), point.lastPosition()});
            break;
        case QEventPoint::State::Released:
            released.append(Touch{point.position(), point.lastPosition()});
            break;
        default:
            break;
        }
    }
    const qsizetype touchesInEvent = event.pointCount();
    if (!released.isEmpty())
        touchesEnded(released, touchesInEvent);
    if (!moved.isEmpty())
        touchesMoved(moved, touchesInEvent);
    if (!pressed.isEmpty())
        touchesBegan(pressed, touchesInEvent);
}

// Qt delivers the second press of a double click as a MouseButtonDblClick and makes no touch
// of it, nor of the moves and the release that follow; without this the second of two quick
// clicks would not sound. That click is played as the one touch the mouse stands for.
bool KPPianoKeysView::handleDoubleClickMouse(QMouseEvent* event)
{
    const QPointF location = event->position();
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (event->button() != Qt::LeftButton)
            return false;
        m_doubleClickTouch = location;
        const Touch touch{location, location};
        touchesBegan(Touches(&touch, 1), 1);
        return true;
    }
    if (!m_doubleClickTouch)
        return false;
    const Touch touch{location, *m_doubleClickTouch};
    if (event->type() == QEvent::MouseMove) {
        m_doubleClickTouch = location;
        touchesMoved(Touches(&touch, 1), 1);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && event->button() == Qt::LeftButton) {
        m_doubleClickTouch.reset();
        touchesEnded(Touches(&touch, 1), 1);
        return true;
    }
    return false;
}

void KPPianoKeysView::pressKey(uint32_t key)
{
    m_keyCollection[key]->setState(KPPianoKey::stateDown);
    if (m_keysDelegate)
        m_keysDelegate->playKey(key);
}

void KPPianoKeysView::pressKey(uint32_t key, uint8_t velocity)
{
    if (key >= keyCount())
        return;
    m_keyCollection[key]->setState(KPPianoKey::stateDown);
    if (m_keysDelegate)
        m_keysDelegate->playKey(key, velocity);
}

void KPPianoKeysView::releaseKey(uint32_t key)
{
    if (key >= keyCount())
        return;
    m_keyCollection[key]->setState(KPPianoKey::stateUp);
    if (m_keysDelegate)
        m_keysDelegate->stopKey(key);
}

void KPPianoKeysView::releaseAllKeys()
{
    for (KPPianoKey* key : std::as_const(m_keyCollection))
        key->setState(KPPianoKey::stateUp);
    if (m_keysDelegate)
        m_keysDelegate->stopAll();
}

bool KPPianoKeysView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_strip) {
        switch (event->type()) {
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            handleTouchEvent(*static_cast<QTouchEvent*>(event));
            event->accept();
            return true;
        case QEvent::TouchCancel: {
            const auto& cancel = *static_cast<QTouchEvent*>(event);
            TouchList touches;
            for (const QEventPoint& point : cancel.points())
                touches.append(Touch{point.position(), point.lastPosition()});
            touchesCancelled(touches, cancel.pointCount());
            m_doubleClickTouch.reset();
            event->accept();
            return true;
        }
        case QEvent::MouseButtonPress:
            // A new click: Qt makes its touch, whatever became of an earlier release.
            m_doubleClickTouch.reset();
            break;
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            if (handleDoubleClickMouse(static_cast<QMouseEvent*>(event))) {
                event->accept();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

// Mouse events reach the scroll area only when the strip left them, and must stay unaccepted
// for Qt to turn them into touches; QAbstractScrollArea would leave them accepted.
bool KPPianoKeysView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        event->ignore();
        return false;
    default:
        return QScrollArea::event(event);
    }
}

void KPPianoKeysView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    fitStripToView();
    applyContentOffset();
}

void KPPianoKeysView::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

void KPPianoKeysView::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
}

bool KPPianoKeysView::focusNextPrevChild(bool next)
{
    // QScrollArea would scroll to show the child that takes the focus.
    return QWidget::focusNextPrevChild(next);
}

void KPPianoKeysView::setContentOffset(QPoint offset)
{
    m_contentOffset = offset;
    applyContentOffset();
}

void KPPianoKeysView::applyContentOffset()
{
    horizontalScrollBar()->setValue(m_contentOffset.x());
    verticalScrollBar()->setValue(m_contentOffset.y());
}

// The strip is as wide as the keys and as high as the view, so that every touch inside the view
// lands on it, also one below the keys.
void KPPianoKeysView::fitStripToView()
{
    const QSize view = maximumViewportSize();
    m_strip->resize(qMax(int(std::ceil(contentWidth())), view.width()), view.height());
}
