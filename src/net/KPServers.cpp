#include "net/KPServers.h"

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

QString KPServers::webServer(const KPUserDefaults& defaults)
{
    return base("TOUCHPIANO_WEB_SERVER", defaults, QStringLiteral("WebServer"),
                QStringLiteral("http://www.touchpiano.invalid"));
}
