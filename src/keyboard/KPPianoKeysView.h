#pragma once

#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPOctaveDirection.h"
#include "keyboard/KPPlayableKeyboard.h"
#include "performer/KPNoteListener.h"

#include <QList>
#include <QScrollArea>
#include <QSet>

#include <cstdint>
#include <optional>
#include <span>

class KPPianoKey;
class KPPianoKeysViewDelegate;
class QMouseEvent;
class QTouchEvent;

// The keyboard: a strip of 84 keys, seven octaves from C1 to B7, in a scroll area that the
// user cannot scroll; changeOctave moves it one octave at a time. The keys fill the view's
// height: their pictures are scaled to it. It turns touches into key presses and releases,
// shows them on the keys and reports them by key index to its delegate.
//
// Touches arrive as QTouchEvent on the strip itself (the scroll area's widget). A mouse is one
// touch, played here from its own events: the screen may be shown in a scaled view, which takes
// unhandled mouse presses itself, so Qt's touches made from them would never come; and Qt makes
// none of the second click of a double click anyway. Mouse events Qt made from a touch are left
// alone: the touch itself plays. Which key a finger holds is stored
// nowhere: every decision uses the point's current and previous location only. Only the part
// of the strip inside the view plays: a finger that slides out of it leaves its key.
//
// When the window is hidden, minimised or loses the focus, the fingers down are cancelled: every
// key is released, and those fingers play nothing more until they lift.
//
// As a listener of the note performer it shows every note played, whoever plays it (computer
// keys, MIDI, a playback): a key stays down while any player holds its note.
class KPPianoKeysView : public QScrollArea, public KPPlayableKeyboard, public KPNoteListener
{
    Q_OBJECT

public:
    // A touch point in content coordinates, where it is and where it was at the last event.
    struct Touch
    {
        QPointF location;
        QPointF previousLocation;
    };
    using Touches = std::span<const Touch>;

    static constexpr uint32_t keyCount() { return KPKeyboardLayout::keyCount; }

    // Builds the keyboard in `frame`, its keys as high as the frame, and shows C3 at the left
    // edge.
    explicit KPPianoKeysView(const QRect& frame, QWidget* parent = nullptr);

    uint32_t currentOctave() const { return m_currentOctave; }
    // Not owned; nothing is sent while it is null.
    KPPianoKeysViewDelegate* keysDelegate() const { return m_keysDelegate; }
    void setKeysDelegate(KPPianoKeysViewDelegate* delegate) { m_keysDelegate = delegate; }
    // Position in the list = key index.
    const QList<KPPianoKey*>& keyCollection() const { return m_keyCollection; }

    static uint32_t midiIndexForKey(uint32_t key);
    static QString labelForKey(uint32_t whiteKey);
    // The "wav" resource named after the key's note without octave ("c", "c#", ...); empty
    // when the resources have none.
    static QString soundPathForKey(uint32_t key);
    static uint32_t alignmentValueForOctaveKey(uint32_t position);

    // One octave either way, while the strip can move that way; otherwise nothing changes, so
    // currentOctave counts only the moves the strip made.
    void changeOctave(KPOctaveDirection direction) override;
    bool canChangeOctave(KPOctaveDirection direction) const;

    uint32_t leftmostShownC() const override;

    // Off (the designed full strength): every press plays at full velocity. On: a press plays
    // softer the nearer the key's far end it is struck, louder near the player.
    bool dynamics() const { return m_dynamics; }
    void setDynamics(bool on) { m_dynamics = on; }
    // The velocity (1 to 127) of a press at `point`, in content coordinates, on `key`.
    uint8_t velocityAt(uint32_t key, QPointF point) const;

    void notePressed(KPNoteSource source, uint32_t note, uint8_t velocity) override;
    void noteReleased(KPNoteSource source, uint32_t note, bool stillHeld) override;

    // The key under a point in content coordinates (the strip's own), black keys first.
    KPPianoKey* keyForLocation(QPointF point) const;
    std::optional<uint32_t> keyIndexForLocation(QPointF point) const;

    // The part of the strip shown at the view's top left corner.
    QPoint contentOffset() const;
    // Seven octaves of white keys.
    float contentWidth() const { return KPKeyboardLayout::contentWidth(m_whiteKeyWidth); }
    // The view width nearest to `available` points, and no wider than `available + slack`, that
    // shows whole white keys only, so that no key is cut at either end whichever octave shows.
    int widthForWholeKeys(int available, int slack) const;

signals:
    // The octave changed, or a new width changed which ways the strip can move.
    void octaveChanged();

protected:
    // `touchesInEvent`: how many fingers the event holds for this view, including those that
    // did not change.
    void touchesBegan(Touches touches, qsizetype touchesInEvent);
    void touchesMoved(Touches touches, qsizetype touchesInEvent);
    void touchesEnded(Touches touches, qsizetype touchesInEvent);
    void touchesCancelled(Touches touches, qsizetype touchesInEvent);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void handleTouchEvent(const QTouchEvent& event);
    bool handleMouse(QMouseEvent* event);
    void cancelTouches();
    std::optional<uint32_t> keyIndexUnderTouch(QPointF location) const;
    void pressKey(uint32_t key, QPointF location);
    void releaseKey(uint32_t key);
    void releaseAllKeys();
    void moveToCurrentOctave();
    void fitStripToView();
    // Whether the key lies wholly inside the part of the strip that shows, or wholly outside it.
    bool isWholeOrOut(uint32_t key) const;
    // A black key cut by an edge of the view is hidden, and the white key under it answers
    // there: the view shows whole keys only, whatever its width and octave.
    void hideCutKeys();

    QWidget* m_strip;
    QList<KPPianoKey*> m_keyCollection;
    KPKeyboardLayout::KeyFrames m_keyFrames;
    float m_whiteKeyWidth = 0;
    bool m_dynamics = false;
    uint32_t m_currentOctave = 0;
    KPPianoKeysViewDelegate* m_keysDelegate = nullptr;
    // Fingers on the strip now, and fingers cancelled that have not lifted yet.
    QSet<int> m_touchesDown;
    QSet<int> m_touchesCancelled;
    // The second click of a double click, while its button is down: where the mouse was last.
    std::optional<QPointF> m_mouseTouch;
};
