#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>

#include <cstdint>

class KPNotePerformer;
class KPPlayableKeyboard;
class QKeyEvent;
class QWidget;

// The computer keyboard as fingers on the piano: the keys of KPComputerKeyMap play notes through
// the performer, from the leftmost C shown, and Left and Right move the keyboard an octave as the
// octave buttons do.
//
// Shift is the sustain pedal (of touches too): held, released notes sound on until it lifts.
// A key plays the piano key it pressed until it is lifted, also when the octave changes
// meanwhile. Auto-repeat never strikes again. When the window loses focus every key it holds
// and the pedal are released. While a text field has the focus, keys type there and play nothing; a
// key held before still releases its note. Keys with Ctrl, Alt or Meta are left to shortcuts.
class KPComputerKeyboard : public QObject
{
public:
    // Watches the key events of `window` and its children; `keyboard` and `performer` must
    // outlive it.
    KPComputerKeyboard(KPPlayableKeyboard& keyboard, KPNotePerformer& performer, QWidget* window,
                       QObject* parent = nullptr);
    ~KPComputerKeyboard() override;

    void releaseAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyPressed(const QKeyEvent& event);
    bool keyReleased(const QKeyEvent& event);
    bool isOurs(QObject* watched) const;

    KPPlayableKeyboard& m_keyboard;
    KPNotePerformer& m_performer;
    QPointer<QWidget> m_window;
    // Scan code of each key held down, and the note it plays.
    QMap<uint32_t, uint32_t> m_held;
    // Shift, as the sustain pedal, is down.
    bool m_pedalDown = false;
};
