#include "audio/KPOpenALConfiguration.h"

#include "platform/KPBundle.h"

#include <QDir>
#include <QFileInfo>

QString KPOpenALConfiguration::shippedPath()
{
    return KPBundle::pathForResource(QStringLiteral("alsoft"), QStringLiteral("conf"));
}

bool KPOpenALConfiguration::useShipped(const QString& path)
{
    if (qEnvironmentVariableIsSet("ALSOFT_CONF") || !QFileInfo(path).isFile())
        return false;
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + QStringLiteral("/.config");
    if (QFileInfo::exists(QDir::homePath() + QStringLiteral("/.alsoftrc")) ||
        QFileInfo::exists(configHome + QStringLiteral("/alsoft.conf")))
        return false;
    return qputenv("ALSOFT_CONF", QFile::encodeName(QFileInfo(path).absoluteFilePath()));
}
