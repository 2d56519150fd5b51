#include "audio/KPAudioOutput.h"

#include "audio/KPDefaultAudioOutput.h"

#include <QDir>
#include <QFileInfo>

namespace {

KPAudioOutput::Factory& defaultFactory()
{
    static KPAudioOutput::Factory factory;
    return factory;
}

} // namespace

std::unique_ptr<KPAudioOutput> KPAudioOutput::makeDefault()
{
    if (defaultFactory())
        return defaultFactory()();
    return std::make_unique<KPDefaultAudioOutput>();
}

void KPAudioOutput::setDefaultFactory(Factory factory)
{
    defaultFactory() = std::move(factory);
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
