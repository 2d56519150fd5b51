#include "audio/KPJackServerProbe.h"

#include <QFile>
#include <QLoggingCategory>

#include <dlfcn.h>
#include <jack/jack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcJackLibrary, "touchpiano.jack.library", QtWarningMsg)

// Where JACK's own server puts its sockets, "jack_<server>_<user id>_<n>".
constexpr char kSocketFolder[] = "/dev/shm";

void jackMessage(const char* text)
{
    qCDebug(lcJackLibrary, "JACK: %s", text);
}

bool isPipeWireLibrary()
{
    static const bool pipeWire = [] {
        Dl_info info{};
        return dladdr(reinterpret_cast<void*>(&jack_client_open), &info) != 0 && info.dli_fname &&
               QByteArray(info.dli_fname).contains("pipewire");
    }();
    return pipeWire;
}

QString serverName()
{
    const QString name = qEnvironmentVariable("JACK_DEFAULT_SERVER");
    return name.isEmpty() ? QStringLiteral("default") : name;
}

} // namespace

bool KPJackServerProbe::mayRun()
{
    // A server shared between users names its socket otherwise.
    if (isPipeWireLibrary() || qEnvironmentVariableIsSet("JACK_PROMISCUOUS_SERVER"))
        return true;
    const QString socket = QStringLiteral("%1/jack_%2_%3_0")
                               .arg(QLatin1String(kSocketFolder), serverName())
                               .arg(geteuid());
    struct stat status = {};
    return stat(QFile::encodeName(socket).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

void KPJackServerProbe::quietenLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(jackMessage);
        jack_set_info_function(jackMessage);
    });
}
