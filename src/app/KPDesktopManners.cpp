#include "app/KPDesktopManners.h"

#include "app/KPWindow.h"
#include "platform/KPLocalization.h"
#include "screen/KPPianoView.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

namespace {

struct ToolbarKey
{
    const char* button;
    const char* text;
    QKeyCombination key;
    // Left and Right reach the octave and Shift the pedal through the computer keyboard; the
    // others are shortcuts.
    bool shortcut;
};

const ToolbarKey kToolbarKeys[] = {
    {"buttonOctaveDown", "TIPOCTAVEDOWN", Qt::Key_Left, false},
    {"buttonOctaveUp", "TIPOCTAVEUP", Qt::Key_Right, false},
    {"buttonRecord", "TIPRECORD", Qt::Key_Return, true},
    {"buttonPlaylist", "TIPPLAYLIST", Qt::Key_F2, true},
    {"buttonSettings", "TIPSETTINGS", Qt::Key_F3, true},
    // Shift holds the same pedal as long as it is held.
    {"buttonSustain", "TIPSUSTAIN", Qt::Key_Shift, false},
    {"buttonMetronome", "TIPMETRONOME", Qt::Key_Space, true},
    {"buttonMetronomeMinus", "TIPSLOWER", Qt::Key_Down, true},
    {"buttonMetronomePlus", "TIPFASTER", Qt::Key_Up, true},
    {"newsBtn", "TIPNEWS", Qt::Key_F4, true},
};

} // namespace

KPDesktopManners::KPDesktopManners(KPPianoView& piano, KPWindow& window, QObject* parent)
    : QObject(parent)
{
    const QWidget* screen = window.rootView();
    for (const ToolbarKey& entry : kToolbarKeys) {
        auto* button =
            screen ? screen->findChild<QAbstractButton*>(QLatin1String(entry.button)) : nullptr;
        if (!button)
            continue;
        const QString text = KPLocalization::string(entry.text);
        const QString key = QKeySequence(entry.key).toString(QKeySequence::NativeText);
        button->setToolTip(QStringLiteral("%1 (%2)").arg(text, key));
        button->setAccessibleName(text);
        if (entry.shortcut) {
            // Through click(), so a button that is off does nothing, as under a finger.
            auto* shortcut = new QShortcut(QKeySequence(entry.key), &window);
            connect(shortcut, &QShortcut::activated, button, &QAbstractButton::click);
        }
    }
    for (const QKeySequence& closing :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(closing, &window);
        connect(shortcut, &QShortcut::activated, &piano, [&piano] {
            if (piano.showingPlaylist() || piano.showingSettings())
                piano.overlaySelected();
        });
    }
    // Quitting saves as any other end of the program does.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), &window);
    connect(quit, &QShortcut::activated, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}
