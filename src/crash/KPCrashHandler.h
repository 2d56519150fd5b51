#pragma once

#include <QString>

// Leaves a report when the process dies of a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT). Everything the handler needs (the file names, the version) is prepared by install(),
// so at the crash it only opens, writes and renames: no allocation, no Qt, no locks. The report
// is written under a temporary name and renamed to "<launch time>-<pid>.crash" when complete,
// so a half-written report is never sent. The handler then restores the action that was there
// before (normally the default) and the process dies of the same signal.
//
// Process-wide: a later install() replaces the folder and version of an earlier one.
class KPCrashHandler
{
public:
    // False (with a log line) when the folder cannot be used or a handler cannot be installed.
    static bool install(const QString& folder, const QString& version);
    // The file name pattern of finished reports.
    static QString reportPattern();
};
