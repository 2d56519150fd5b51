#include "keyboard/KPComputerKeyboard.h"

#include "keyboard/KPComputerKeyMap.h"
#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPlayableKeyboard.h"
#include "performer/KPNotePerformer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <utility>

namespace {

constexpr Qt::KeyboardModifiers kShortcutModifiers =
    Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// A widget that takes typed text: line edits, text edits, spin boxes and the like.
bool textFieldHasFocus()
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && focus->testAttribute(Qt::WA_InputMethodEnabled);
}

} // namespace

KPComputerKeyboard::KPComputerKeyboard(KPPlayableKeyboard& keyboard, KPNotePerformer& performer,
                                       QWidget* window, QObject* parent)
    : QObject(parent), m_keyboard(keyboard), m_performer(performer), m_window(window)
{
    // On the application, so keys reach us whichever child has the focus.
    qApp->installEventFilter(this);
}

KPComputerKeyboard::~KPComputerKeyboard()
{
    releaseAll();
}

void KPComputerKeyboard::releaseAll()
{
    m_held.clear();
    if (std::exchange(m_pedalDown, false))
        m_performer.setSustain(false);
    m_performer.releaseAll(KPNoteSource::ComputerKeys);
}

bool KPComputerKeyboard::isOurs(QObject* watched) const
{
    const auto* widget = qobject_cast<const QWidget*>(watched);
    return m_window && widget && widget->window() == m_window;
}

bool KPComputerKeyboard::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        return isOurs(watched) && keyPressed(*static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease:
        return isOurs(watched) && keyReleased(*static_cast<QKeyEvent*>(event));
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
        if (watched == m_window)
            releaseAll();
        return false;
    default:
        return false;
    }
}

bool KPComputerKeyboard::keyPressed(const QKeyEvent& event)
{
    if (event.modifiers() & kShortcutModifiers || textFieldHasFocus())
        return false;
    if (event.key() == Qt::Key_Shift) {
        m_pedalDown = true;
        m_performer.setSustain(true);
        return false;
    }
    if (event.key() == Qt::Key_Left || event.key() == Qt::Key_Right) {
        if (!event.isAutoRepeat())
            m_keyboard.changeOctave(event.key() == Qt::Key_Right ? KPOctaveDirection::Higher
                                                                 : KPOctaveDirection::Lower);
        return true;
    }
    const uint32_t scanCode = event.nativeScanCode();
    const std::optional<uint32_t> semitone = KPComputerKeyMap::semitoneForScanCode(scanCode);
    if (!semitone)
        return false;
    // Some systems repeat without marking it: a key already down never strikes again.
    if (event.isAutoRepeat() || m_held.contains(scanCode))
        return true;
    const uint32_t note =
        KPKeyboardLayout::midiIndexForKey(m_keyboard.leftmostShownC()) + *semitone;
    // Only the keyboard's own notes play.
    if (KPKeyboardLayout::keyForMidiNote(note)) {
        m_held.insert(scanCode, note);
        m_performer.noteOn(KPNoteSource::ComputerKeys, note, KPPlayableKeyboard::kFullVelocity);
    }
    return true;
}

// The note is let go when the last computer key holding it lifts (comma and Q play the same).
bool KPComputerKeyboard::keyReleased(const QKeyEvent& event)
{
    if (event.key() == Qt::Key_Shift && !event.isAutoRepeat()) {
        if (std::exchange(m_pedalDown, false))
            m_performer.setSustain(false);
        return false;
    }
    const uint32_t scanCode = event.nativeScanCode();
    if (event.isAutoRepeat())
        return m_held.contains(scanCode);
    const auto held = m_held.constFind(scanCode);
    if (held == m_held.constEnd())
        return false;
    const uint32_t note = *held;
    m_held.erase(held);
    if (!m_held.values().contains(note))
        m_performer.noteOff(KPNoteSource::ComputerKeys, note);
    return true;
}
