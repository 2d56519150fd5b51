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

#include <algorithm>
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

    // The pictures' proportions, scaled so that the white keys are as high as the view.
    QSizeF whiteKeySize = KPPianoKey::sizeForKeyType(KPPianoKey::Type::White);
    QSizeF blackKeySize = KPPianoKey::sizeForKeyType(KPPianoKey::Type::Black);
    if (whiteKeySize.height() > 0 && frame.height() > 0) {
        const qreal scale = frame.height() / whiteKeySize.height();
        whiteKeySize *= scale;
        blackKeySize *= scale;
    }
    m_whiteKeyWidth = float(whiteKeySize.width());
    m_keyFrames = KPKeyboardLayout::keyFrames(whiteKeySize, blackKeySize);

    // White keys first, then black ones, so that the black keys lie above.
    m_keyCollection.reserve(keyCount());
    for (uint32_t i = 0; i < keyCount(); ++i) {
        const bool white = KPKeyboardLayout::isWhiteKey(i);
        auto* key = new KPPianoKey(white ? KPPianoKey::Type::White : KPPianoKey::Type::Black,
                                   m_keyFrames[i].size(), m_strip);
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

    changeOctave(KPOctaveDirection::Higher);
    changeOctave(KPOctaveDirection::Higher);
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

// The strip can move up while it does not show its right end, and down while it does not show
// its left end; between the octaves 0 and 6 in both cases.
bool KPPianoKeysView::canChangeOctave(KPOctaveDirection direction) const
{
    const uint32_t offset =
        KPKeyboardLayout::octaveOffset(m_currentOctave, m_whiteKeyWidth, float(width()));
    if (direction == KPOctaveDirection::Higher)
        return m_currentOctave < KPKeyboardLayout::lastOctave &&
               offset < KPKeyboardLayout::maximumOffset(m_whiteKeyWidth, float(width()));
    return m_currentOctave > 0 && offset > 0;
}

void KPPianoKeysView::changeOctave(KPOctaveDirection direction)
{
    if (!canChangeOctave(direction))
        return;
    if (direction == KPOctaveDirection::Higher)
        ++m_currentOctave;
    else
        --m_currentOctave;
    moveToCurrentOctave();
    emit octaveChanged();
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

// A finger plays only the part of the strip that shows: the keys scrolled out of the view lie
// under the case around it.
std::optional<uint32_t> KPPianoKeysView::keyIndexUnderTouch(QPointF location) const
{
    const QPointF inView = location - QPointF(contentOffset());
    if (!QRectF(viewport()->rect()).contains(inView))
        return std::nullopt;
    const std::optional<uint32_t> key = keyIndexForLocation(location);
    if (key && !isWholeOrOut(*key))
        return KPKeyboardLayout::keyAtPoint(
            std::span(m_keyFrames).first(KPKeyboardLayout::whiteKeyCount), location);
    return key;
}

bool KPPianoKeysView::isWholeOrOut(uint32_t key) const
{
    const QRectF& frame = m_keyFrames[key];
    const double left = contentOffset().x();
    const double right = left + viewport()->width();
    // Half a point of slack: frames lie on fractions of a point, the view on whole ones.
    return frame.left() >= left - 0.5 ? frame.right() <= right + 0.5 || frame.left() >= right - 0.5
                                      : frame.right() <= left + 0.5;
}

void KPPianoKeysView::hideCutKeys()
{
    for (uint32_t key = KPKeyboardLayout::whiteKeyCount; key < keyCount(); ++key)
        m_keyCollection[qsizetype(key)]->setVisible(isWholeOrOut(key));
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

int KPPianoKeysView::widthForWholeKeys(int available, int slack) const
{
    if (m_whiteKeyWidth <= 0)
        return available;
    float keys = std::round(float(available) / m_whiteKeyWidth);
    if (keys * m_whiteKeyWidth > float(available + slack))
        keys -= 1;
    keys = std::clamp(keys, 1.0f, float(KPKeyboardLayout::whiteKeyCount));
    return int(std::lround(keys * m_whiteKeyWidth));
}

QPoint KPPianoKeysView::contentOffset() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void KPPianoKeysView::touchesBegan(Touches touches, qsizetype /*touchesInEvent*/)
{
    for (const Touch& touch : touches) {
        if (const auto key = keyIndexUnderTouch(touch.location))
            pressKey(*key, touch.location);
    }
}

// A finger that crosses from one key to another (or onto or off the keys) releases what it
// left before it presses what it reached; a move within one key, or outside all keys, sends
// nothing.
void KPPianoKeysView::touchesMoved(Touches touches, qsizetype /*touchesInEvent*/)
{
    for (const Touch& touch : touches) {
        const auto previous = keyIndexUnderTouch(touch.previousLocation);
        const auto current = keyIndexUnderTouch(touch.location);
        if (previous == current)
            continue;
        if (previous)
            releaseKey(*previous);
        if (current)
            pressKey(*current, touch.location);
    }
}

// When every finger on the keyboard lifts at once, all keys are released first; then each
// lifted finger releases the key under it, even one the first step has already released.
void KPPianoKeysView::touchesEnded(Touches touches, qsizetype touchesInEvent)
{
    if (qsizetype(touches.size()) == touchesInEvent)
        releaseAllKeys();
    for (const Touch& touch : touches) {
        if (const auto key = keyIndexUnderTouch(touch.location))
            releaseKey(*key);
    }
}

void KPPianoKeysView::touchesCancelled(Touches /*touches*/, qsizetype /*touchesInEvent*/)
{
    releaseAllKeys();
}

// Sorts the points of one event by what happened to them. Lifts go first, then moves, then
// new fingers: when one finger leaves a key in the same event that another reaches it, the
// key ends pressed and sounding. Stationary points only count as fingers still down. Fingers
// cancelled earlier are left out until they lift.
void KPPianoKeysView::handleTouchEvent(const QTouchEvent& event)
{
    if (event.type() == QEvent::TouchBegin)
        m_touchesCancelled.clear();
    TouchList pressed;
    TouchList moved;
    TouchList released;
    qsizetype touchesInEvent = 0;
    for (const QEventPoint& point : event.points()) {
        const int id = point.id();
        if (point.state() == QEventPoint::State::Pressed)
            m_touchesCancelled.remove(id);
        if (m_touchesCancelled.contains(id)) {
            if (point.state() == QEventPoint::State::Released)
                m_touchesCancelled.remove(id);
            continue;
        }
        ++touchesInEvent;
        const Touch touch{point.position(), point.lastPosition()};
        switch (point.state()) {
        case QEventPoint::State::Pressed:
            m_touchesDown.insert(id);
            pressed.append(touch);
            break;
        case QEventPoint::State::Updated:
            moved.append(touch);
            break;
        case QEventPoint::State::Released:
            m_touchesDown.remove(id);
            released.append(touch);
            break;
        default:
            break;
        }
    }
    if (!released.isEmpty())
        touchesEnded(released, touchesInEvent);
    if (!moved.isEmpty())
        touchesMoved(moved, touchesInEvent);
    if (!pressed.isEmpty())
        touchesBegan(pressed, touchesInEvent);
}

// The mouse as one finger: down with the left button (a double click's second press too),
// sliding while it is held, up when it is let go.
bool KPPianoKeysView::handleMouse(QMouseEvent* event)
{
    if (event->source() != Qt::MouseEventNotSynthesized)
        return false;
    const QPointF location = event->position();
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        if (event->button() != Qt::LeftButton)
            return false;
        // A release that never came ends its touch here: no key is left stuck.
        if (m_mouseTouch) {
            const Touch stale{*m_mouseTouch, *m_mouseTouch};
            touchesEnded(Touches(&stale, 1), 1);
        }
        m_mouseTouch = location;
        const Touch touch{location, location};
        touchesBegan(Touches(&touch, 1), 1);
        return true;
    }
    if (!m_mouseTouch)
        return false;
    const Touch touch{location, *m_mouseTouch};
    if (event->type() == QEvent::MouseMove) {
        m_mouseTouch = location;
        touchesMoved(Touches(&touch, 1), 1);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && event->button() == Qt::LeftButton) {
        m_mouseTouch.reset();
        touchesEnded(Touches(&touch, 1), 1);
        return true;
    }
    return false;
}

// The window went away under the fingers: what they hold is released as a cancelled touch,
// so no note rings on without its fade until the window comes back.
void KPPianoKeysView::cancelTouches()
{
    if (m_touchesDown.isEmpty() && !m_mouseTouch)
        return;
    m_touchesCancelled.unite(m_touchesDown);
    m_touchesDown.clear();
    m_mouseTouch.reset();
    touchesCancelled({}, 0);
}

void KPPianoKeysView::pressKey(uint32_t key, QPointF location)
{
    m_keyCollection[key]->setState(KPPianoKey::State::Down);
    if (!m_keysDelegate)
        return;
    if (m_dynamics)
        m_keysDelegate->playKey(key, velocityAt(key, location));
    else
        m_keysDelegate->playKey(key);
}

// From the softest at the far end to full at the near end, in even steps along the key.
uint8_t KPPianoKeysView::velocityAt(uint32_t key, QPointF point) const
{
    constexpr double kSoftest = 24;
    const QRectF& frame = m_keyFrames[key];
    const double share =
        frame.height() > 0 ? std::clamp((point.y() - frame.top()) / frame.height(), 0.0, 1.0) : 1.0;
    return uint8_t(std::lround(kSoftest + share * (kFullVelocity - kSoftest)));
}

void KPPianoKeysView::releaseKey(uint32_t key)
{
    m_keyCollection[key]->setState(KPPianoKey::State::Up);
    if (m_keysDelegate)
        m_keysDelegate->stopKey(key);
}

void KPPianoKeysView::notePressed(KPNoteSource /*source*/, uint32_t note, uint8_t /*velocity*/)
{
    if (const auto key = KPKeyboardLayout::keyForMidiNote(note))
        m_keyCollection[*key]->setState(KPPianoKey::State::Down);
}

void KPPianoKeysView::noteReleased(KPNoteSource /*source*/, uint32_t note, bool stillHeld)
{
    if (const auto key = KPKeyboardLayout::keyForMidiNote(note))
        m_keyCollection[*key]->setState(stillHeld ? KPPianoKey::State::Down
                                                  : KPPianoKey::State::Up);
}

void KPPianoKeysView::releaseAllKeys()
{
    for (KPPianoKey* key : std::as_const(m_keyCollection))
        key->setState(KPPianoKey::State::Up);
    if (m_keysDelegate)
        m_keysDelegate->stopAll();
}

bool KPPianoKeysView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window()) {
        const bool minimised =
            event->type() == QEvent::WindowStateChange && window()->isMinimized();
        if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide || minimised)
            cancelTouches();
        return false;
    }
    if (watched == m_strip) {
        switch (event->type()) {
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            handleTouchEvent(*static_cast<QTouchEvent*>(event));
            event->accept();
            return true;
        case QEvent::TouchCancel:
            m_touchesDown.clear();
            m_touchesCancelled.clear();
            touchesCancelled({}, static_cast<QTouchEvent*>(event)->pointCount());
            m_mouseTouch.reset();
            event->accept();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            if (handleMouse(static_cast<QMouseEvent*>(event))) {
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

void KPPianoKeysView::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    // The window it shows in may be new: hiding, minimising or leaving it cancels the touches.
    window()->installEventFilter(this);
}

// A new width may move the right end of the strip; the octave stays and is shown anew.
void KPPianoKeysView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    fitStripToView();
    moveToCurrentOctave();
    emit octaveChanged();
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
    return QWidget::focusNextPrevChild(next); // NOLINT(bugprone-parent-virtual-call)
}

void KPPianoKeysView::moveToCurrentOctave()
{
    horizontalScrollBar()->setValue(
        int(KPKeyboardLayout::octaveOffset(m_currentOctave, m_whiteKeyWidth, float(width()))));
    hideCutKeys();
}

// The strip is as wide as the keys and as high as the view, so that every touch inside the view
// lands on it, also one below the keys.
void KPPianoKeysView::fitStripToView()
{
    const QSize view = maximumViewportSize();
    m_strip->resize(qMax(int(std::ceil(contentWidth())), view.width()), view.height());
}
