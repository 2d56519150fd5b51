#pragma once

#include <QString>

class KPAppPaths
{
public:
    // The application-support folder (XDG data folder "touchpiano"), created when missing.
    static QString applicationSupportDirectory();
};
