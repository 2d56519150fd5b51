#include "audio/KPPlaybackDevice.h"

#include "platform/KPBundle.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

#include <QDebug>
#include <QDir>
#include <QFileInfo>

std::unique_ptr<KPPlaybackDevice> KPPlaybackDevice::open()
{
    ALCdevice* device = alcOpenDevice(nullptr);
    if (!device)
        return nullptr;
    // Names the backend too ("JACK Default", "ALSA Default", ...): where the sound goes.
    qInfo("KPPlaybackDevice: sound goes to \"%s\"",
          alcGetString(device, ALC_ALL_DEVICES_SPECIFIER));
    return std::make_unique<KPPlaybackDevice>(device);
}

// The mix runs at the rate the system's output and the configuration choose; asking for another
// would restart the output under the contexts already on it.
KPALContextPtr KPPlaybackDevice::createContext(std::optional<int>)
{
    return KPALContextPtr(alcCreateContext(get(), nullptr), KPDestroyALContext);
}

bool KPPlaybackDevice::playsToJack() const
{
    const char* name = alcGetString(get(), ALC_ALL_DEVICES_SPECIFIER);
    return name && QLatin1String(name).startsWith(QLatin1String("JACK"));
}

// OpenAL Soft's alcSuspendContext only holds back property changes; pausing the device is what
// stops the sound.
void KPPlaybackDevice::pauseMix()
{
    if (alcIsExtensionPresent(get(), "ALC_SOFT_pause_device"))
        alcDevicePauseSOFT(get());
}

void KPPlaybackDevice::resumeMix()
{
    if (alcIsExtensionPresent(get(), "ALC_SOFT_pause_device"))
        alcDeviceResumeSOFT(get());
}

QString KPPlaybackDevice::shippedConfigurationPath()
{
    return KPBundle::pathForResource(QStringLiteral("alsoft"), QStringLiteral("conf"));
}

bool KPPlaybackDevice::useShippedConfiguration(const QString& path)
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
