#pragma once

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <cstdio>

class QCommandLineParser;

// The program's work without a window: listing the recordings, exporting one as a MIDI or sound
// file, importing MIDI files. Runs under a QCoreApplication, so it needs no display.
//
// Exit status: 0 done, 1 failed, 2 the command line is wrong (an unknown option, an option
// given twice, a missing or wrong value). Results go to `out`, messages and progress (on a
// terminal) to `err`, each failure once, naming its file once.
class KPCommandLine
{
public:
    static constexpr int kFailed = 1;
    static constexpr int kWrongArguments = 2;

    // --list, --export N --to FILE [--force] and --import FILE...
    static void addOptions(QCommandLineParser& parser);
    // kWrongArguments, told on `err`, when an option other than --import is given twice; else 0.
    static int refuseRepeatedOptions(const QCommandLineParser& parser, FILE* err = stderr);
    // True when the parsed arguments ask for one of them.
    static bool isCommand(const QCommandLineParser& parser);
    static int run(const QCommandLineParser& parser, FILE* out = stdout, FILE* err = stderr);
    // Each file as a new recording: through the running window when there is one, else by a
    // locked read-change-write of the archive. Every file is told once, with its real outcome.
    // `dates`, when given, dates each file's take (as a launch handed them to the window);
    // files are read one at a time, and none is added that would grow the archive past what a
    // reader takes.
    static int importFiles(const QStringList& paths, FILE* out = stdout, FILE* err = stderr,
                           const QList<QDateTime>& dates = {});
};
