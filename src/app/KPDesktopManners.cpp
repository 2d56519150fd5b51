#include "app/KPDesktopManners.h"

#include "app/KPWindow.h"
#include "platform/KPBundle.h"
#include "platform/KPLocalization.h"
#include "screen/KPPianoView.h"
#include "ui/KPButton.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

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

QString keyName(const QKeySequence& key)
{
    return key.toString(QKeySequence::NativeText).toHtmlEscaped();
}

QString row(const QString& key, const QString& text)
{
    return QStringLiteral("<tr><td><b>%1</b></td><td>&nbsp;&nbsp;%2</td></tr>").arg(key, text);
}

// The keys of the window itself, told in the help after the toolbar's.
struct WindowKey
{
    const char* text;
    QString keys;
};

} // namespace

KPDesktopManners::KPDesktopManners(KPPianoView& piano, KPWindow& window, QObject* parent)
    : QObject(parent), m_piano(piano), m_window(window)
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
    // With Shift the tempo buttons step by one beat; the click reads the modifier.
    for (KPButton* button : {piano.buttonMetronomeMinus(), piano.buttonMetronomePlus()}) {
        if (!button)
            continue;
        const bool up = button == piano.buttonMetronomePlus();
        auto* fine = new QShortcut(Qt::SHIFT | (up ? Qt::Key_Up : Qt::Key_Down), &window);
        connect(fine, &QShortcut::activated, button, &QAbstractButton::click);
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
    addMenu();
}

void KPDesktopManners::addMenu()
{
    m_menuButton = new QToolButton(&m_piano);
    m_menuButton->setObjectName(QStringLiteral("buttonMenu"));
    m_menuButton->setText(QStringLiteral("\u2630"));
    m_menuButton->setToolTip(
        QStringLiteral("%1 (%2)").arg(KPLocalization::string("MENU"), keyName(Qt::Key_F10)));
    m_menuButton->setAccessibleName(KPLocalization::string("MENU"));
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    // As the toolbar's other buttons: the keys stay with the piano.
    m_menuButton->setFocusPolicy(Qt::NoFocus);
    m_menuButton->setStyleSheet(QStringLiteral(
        "QToolButton { color: #D8D8D8; background: transparent; border: none; font-weight: bold; }"
        " QToolButton:pressed, QToolButton:open { color: white; }"
        " QToolButton::menu-indicator { image: none; width: 0; }"));

    // A window of its own rather than drawn into the scaled screen: it takes the keys while open.
    // (Made with its parent, it would be drawn into the screen before the flag could say so.)
    m_menu = new QMenu;
    m_menu->setParent(m_menuButton, m_menu->windowFlags() | Qt::BypassGraphicsProxyWidget);
    QAction* about =
        m_menu->addAction(KPLocalization::string("ABOUT"), this, &KPDesktopManners::showAbout);
    about->setMenuRole(QAction::AboutRole);
    QAction* help =
        m_menu->addAction(KPLocalization::string("HELP"), this, &KPDesktopManners::showHelp);
    help->setShortcut(Qt::Key_F1);
    // Shown in the menu; the window's own shortcuts answer while it is closed.
    help->setShortcutContext(Qt::WidgetShortcut);
    m_menu->addAction(KPLocalization::string("PREFERENCES"), this, [this] {
        if (!m_piano.showingSettings())
            m_piano.settingsSelected();
    });
    m_menu->addSeparator();
    QAction* quit = m_menu->addAction(KPLocalization::string("QUIT"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    quit->setShortcut(Qt::CTRL | Qt::Key_Q);
    quit->setShortcutContext(Qt::WidgetShortcut);
    m_menuButton->setMenu(m_menu);

    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), &m_window);
    connect(helpKey, &QShortcut::activated, this, &KPDesktopManners::showHelp);
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), &m_window);
    connect(menuKey, &QShortcut::activated, this, &KPDesktopManners::showMenu);

    m_piano.installEventFilter(this);
    placeMenuButton();
}

bool KPDesktopManners::eventFilter(QObject* watched, QEvent* event)
{
    // Once the piano view has spread its toolbar over its new width.
    if (watched == &m_piano && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        QMetaObject::invokeMethod(this, &KPDesktopManners::placeMenuButton, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

// Right of the sustain pedal, as high as a third of the toolbar's buttons are wide and centred
// on them; shown only where it leaves the metronome's buttons their room.
void KPDesktopManners::placeMenuButton()
{
    const KPButton* sustain = m_piano.buttonSustain();
    const KPButton* metronome = m_piano.buttonMetronome();
    if (!m_menuButton || !sustain || !metronome)
        return;
    const int side = std::max(24, sustain->height() * 4 / 9);
    const int margin = std::max(2, side / 10);
    const int left = sustain->geometry().right() + 1 + margin;
    m_menuButton->setGeometry(left, sustain->geometry().center().y() - side / 2, side, side);
    QFont font = m_menuButton->font();
    font.setPixelSize(side);
    m_menuButton->setFont(font);
    m_menuButton->setVisible(left + side + margin <= metronome->x());
    m_menuButton->raise();
}

void KPDesktopManners::showMenu()
{
    if (m_menuButton && m_menuButton->isVisible()) {
        m_menuButton->showMenu();
        return;
    }
    const KPButton* sustain = m_piano.buttonSustain();
    const QPointF below =
        sustain ? m_window.mapFromView(sustain, sustain->rect().bottomLeft()) : QPointF(0, 0);
    m_menu->popup(m_window.viewport()->mapToGlobal(below.toPoint()));
}

void KPDesktopManners::showMessage(QPointer<QMessageBox>& box, const QString& text,
                                   const QString& details)
{
    if (!box) {
        box = new QMessageBox(QMessageBox::Information, QStringLiteral("Touch Piano"), text,
                              QMessageBox::Ok, &m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setTextFormat(Qt::RichText);
        box->setDetailedText(details);
    }
    box->open();
    box->raise();
}

// The version and where the samples come from, with their licence where it is at hand.
void KPDesktopManners::showAbout()
{
    QFile licence(
        KPBundle::pathForResource(QStringLiteral("LICENSE-FluidR3_GM"), QStringLiteral("txt")));
    const QString details =
        licence.open(QIODevice::ReadOnly) ? QString::fromUtf8(licence.readAll()) : QString();
    showMessage(m_about,
                KPLocalization::string("ABOUTTEXT")
                    .arg(QCoreApplication::applicationVersion().toHtmlEscaped()),
                details);
}

// The computer keys, the toolbar's keys as their tooltips tell them, and the window's own keys.
void KPDesktopManners::showHelp()
{
    QString rows = row(KPLocalization::string("HELPLETTERS"), KPLocalization::string("HELPPLAY"));
    const QWidget* screen = m_window.rootView();
    for (const ToolbarKey& entry : kToolbarKeys) {
        const auto* button =
            screen ? screen->findChild<QAbstractButton*>(QLatin1String(entry.button)) : nullptr;
        if (button && !button->isHidden())
            rows += row(keyName(entry.key), KPLocalization::string(entry.text));
    }
    const WindowKey windowKeys[] = {
        {"HELPFINE", keyName(Qt::SHIFT | Qt::Key_Up) + QStringLiteral(" / ") +
                         keyName(Qt::SHIFT | Qt::Key_Down)},
        {"HELPCLOSE",
         keyName(Qt::Key_Escape) + QStringLiteral(" / ") + keyName(Qt::CTRL | Qt::Key_W)},
        {"HELPFULLSCREEN", keyName(Qt::Key_F11)},
        {"HELP", keyName(Qt::Key_F1)},
        {"MENU", keyName(Qt::Key_F10)},
        {"QUIT", keyName(Qt::CTRL | Qt::Key_Q)},
    };
    for (const WindowKey& entry : windowKeys)
        rows += row(entry.keys, KPLocalization::string(entry.text));
    showMessage(m_help,
                QStringLiteral("<p><b>%1</b></p><table>%2</table>")
                    .arg(KPLocalization::string("HELP"), rows),
                QString());
}
