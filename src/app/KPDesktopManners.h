#pragma once

#include <QObject>

class KPPianoView;
class KPWindow;

// What a desktop program owes its users on the piano screen: every toolbar button has a
// localized tooltip that names the key doing the same, and an accessible name; those keys work
// (F2 recordings, F3 instruments, Return record, Space metronome, Up and Down tempo, F4 news;
// Left and Right move the octave through the computer keyboard); Esc and Ctrl+W close an open
// panel as a touch beside it does; Ctrl+Q quits.
class KPDesktopManners : public QObject
{
public:
    KPDesktopManners(KPPianoView& piano, KPWindow& window, QObject* parent = nullptr);
};
