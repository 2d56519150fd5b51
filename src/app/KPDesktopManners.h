#pragma once

#include <QMenu>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QToolButton>

class KPPianoView;
class KPWindow;

// What a desktop program owes its users on the piano screen: every toolbar button has a
// localized tooltip that names the key doing the same, and an accessible name; those keys work
// (F2 recordings, F3 instruments, Return record, Space metronome, Up and Down tempo, with Shift
// one beat, F4 news; Left and Right move the octave through the computer keyboard); Esc and
// Ctrl+W close an open panel as a touch beside it does; Ctrl+Q quits. While a menu or a dialog
// is open the keys are its own: they are windows of their own, which the shortcuts do not reach.
//
// A small menu button sits in the toolbar beside the sustain pedal where the toolbar has room for
// it (a wide window; F10 opens the menu in any window): About (the version and the samples'
// licence), Keys and shortcuts (F1), Preferences (the instrument panel) and Quit.
class KPDesktopManners : public QObject
{
public:
    KPDesktopManners(KPPianoView& piano, KPWindow& window, QObject* parent = nullptr);

    QToolButton* menuButton() const { return m_menuButton; }
    QMenu* menu() const { return m_menu; }
    void showMenu();
    void showAbout();
    void showHelp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addMenu();
    void placeMenuButton();
    void showMessage(QPointer<QMessageBox>& box, const QString& text, const QString& details);

    KPPianoView& m_piano;
    KPWindow& m_window;
    QPointer<QToolButton> m_menuButton;
    QPointer<QMenu> m_menu;
    QPointer<QMessageBox> m_about;
    QPointer<QMessageBox> m_help;
};
