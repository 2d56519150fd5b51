#pragma once

#include <QString>

class KPAppPaths
{
public:
    // The application-support folder (XDG data folder "touchpiano"), created when missing and
    // readable by its owner only.
    static QString applicationSupportDirectory();
    // Makes `path` (and the folders above it that are missing) and lets only its owner list or
    // enter it, whatever the umask: recordings and crash reports name what the user played.
    static bool makePrivateFolder(const QString& path);
};
