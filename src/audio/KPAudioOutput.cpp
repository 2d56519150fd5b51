#include "KPAudioOutput.h"

#include "KPDefaultAudioOutput.h"

#include <QDir>
#include <QFileInfo>

std::unique_ptr<KPAudioOutput> KPAudioOutput::makeDefault()
{
    return std::make_unique<KPDefaultAudioOutput>();
}

QString KPAudioOutput::shippedConfigurationPath()
{
    return QStringLiteral(KP_AUDIO_CONFIGURATION);
}

bool KPAudioOutput::useShippedConfiguration(const QString& path)
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
