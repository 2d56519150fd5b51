#pragma once

#include <QString>

// The application's resources, looked up by name and type as in a bundle: "Grand Piano" of type
// "plist", "metronome" of type "mp3", "Settings" of type "bundle" (a folder). Names are unique
// across the whole resource tree, whatever sub-folder holds them.
class KPBundle
{
public:
    // The path of the resource, or an empty string when there is none.
    static QString pathForResource(const QString& name, const QString& type);
    static QString resourceRoot();
    // "org.touchpiano.TouchPiano", the name the desktop knows the program by.
    static QString bundleIdentifier();
    // Points the lookup at another tree (tests) and forgets what was indexed.
    static void setResourceRoot(const QString& root);
};
