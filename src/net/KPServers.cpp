#include "net/KPServers.h"

#include <QUrl>

namespace {

QString base(const char* variable, const KPUserDefaults& defaults, const QString& key,
             const QString& builtIn)
{
    QString url = qEnvironmentVariable(variable);
    if (url.isEmpty())
        url = defaults.value(key).toString();
    if (url.isEmpty())
        url = builtIn;
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

} // namespace

QString KPServers::appServer(const KPUserDefaults& defaults)
{
    return base("TOUCHPIANO_APP_SERVER", defaults, QStringLiteral("AppServer"),
                QStringLiteral("http://apps.touchpiano.invalid"));
}

QString KPServers::crashServer(const KPUserDefaults& defaults)
{
    return base("TOUCHPIANO_APP_SERVER", defaults, QStringLiteral("AppServer"),
                QStringLiteral("https://apps.touchpiano.invalid"));
}

QString KPServers::webServer(const KPUserDefaults& defaults)
{
    return base("TOUCHPIANO_WEB_SERVER", defaults, QStringLiteral("WebServer"),
                QStringLiteral("http://www.touchpiano.invalid"));
}

QString KPServers::storeServer(const KPUserDefaults& defaults)
{
    return base("TOUCHPIANO_STORE_SERVER", defaults, QStringLiteral("StoreServer"),
                QStringLiteral("https://store.touchpiano.invalid"));
}

bool KPServers::isConfigured(const QString& url)
{
    const QString host = QUrl(url).host().toLower();
    return !host.isEmpty() && !host.endsWith(QLatin1String(".invalid")) &&
           host != QLatin1String("invalid");
}
