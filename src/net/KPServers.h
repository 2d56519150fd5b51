#pragma once

#include "platform/KPUserDefaults.h"

#include <QString>

// The base URLs ("http://host[:port]", no trailing slash) of the maker's application server
// (application information) and web server (banners). Each comes from the environment
// (TOUCHPIANO_APP_SERVER, TOUCHPIANO_WEB_SERVER), else the user defaults ("AppServer",
// "WebServer"), else our own host. The built-in hosts are in the reserved ".invalid" domain:
// until the maker names its servers, nothing leaves the machine for a stranger's.
class KPServers
{
public:
    static QString appServer(const KPUserDefaults& defaults = KPUserDefaults::standard());
    static QString webServer(const KPUserDefaults& defaults = KPUserDefaults::standard());
};
