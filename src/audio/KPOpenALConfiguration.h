#pragma once

#include <QString>

// OpenAL Soft's configuration for the program. We mix through loopback devices only, so the
// configuration shipped with the program names no output of OpenAL Soft's own: none of its
// backends is started (its PulseAudio backend would connect to a server just to look).
class KPOpenALConfiguration
{
public:
    // Points OpenAL Soft at the shipped configuration unless the user has one of their own:
    // ALSOFT_CONF, ~/.alsoftrc or alsoft.conf in the user's configuration folder. Must run before
    // the first OpenAL call. Returns whether it did.
    static bool useShipped(const QString& path = shippedPath());
    static QString shippedPath();
};
