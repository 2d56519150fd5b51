#pragma once

#include "platform/KPUserDefaults.h"

#include <QString>

// The base URLs ("http://host[:port]", no trailing slash) of the maker's application server
// (application information, crash reports), web server (banners) and application store (review
// pages). Each comes from the environment (TOUCHPIANO_APP_SERVER, TOUCHPIANO_WEB_SERVER,
// TOUCHPIANO_STORE_SERVER), else the user defaults ("AppServer", "WebServer", "StoreServer"),
// else our own host. The built-in hosts are in the reserved ".invalid" domain: until the maker
// names its servers, nothing leaves the machine for a stranger's.
class KPServers
{
public:
    static QString appServer(const KPUserDefaults& defaults = KPUserDefaults::standard());
    // The application server as crash reports reach it: over https unless named otherwise.
    static QString crashServer(const KPUserDefaults& defaults = KPUserDefaults::standard());
    static QString webServer(const KPUserDefaults& defaults = KPUserDefaults::standard());
    static QString storeServer(const KPUserDefaults& defaults = KPUserDefaults::standard());

    // Whether the URL leads anywhere: not to a built-in host of the ".invalid" domain.
    static bool isConfigured(const QString& url);
};
