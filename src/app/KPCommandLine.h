#pragma once

#include <cstdio>

class QCommandLineParser;

// The program's work without a window: listing the recordings, exporting one as a MIDI or sound
// file, importing a MIDI file. Runs under a QCoreApplication, so it needs no display.
class KPCommandLine
{
public:
    // --list, --export N --to FILE and --import FILE.
    static void addOptions(QCommandLineParser& parser);
    // True when the parsed arguments ask for one of them.
    static bool isCommand(const QCommandLineParser& parser);
    // The exit status: 0 done, 1 failed, 2 the arguments are wrong. Results go to `out`, messages
    // and progress (on a terminal) to `err`.
    static int run(const QCommandLineParser& parser, FILE* out = stdout, FILE* err = stderr);
};
