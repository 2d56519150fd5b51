#include "KPPipeWireServer.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <sys/prctl.h>

#include <csignal>

namespace {

constexpr int kStartMilliseconds = 20000;

// Polls `ready` until it holds or the deadline passes.
template <typename Ready> bool waitFor(const QDeadlineTimer& deadline, Ready ready)
{
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

KPPipeWireServer::KPPipeWireServer()
{
    for (const char* program :
         {"dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "pactl"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            m_error = QStringLiteral("%1 is not installed").arg(QLatin1String(program));
            return;
        }
    }
    if (!m_runtime.isValid()) {
        m_error = QStringLiteral("no runtime folder: %1").arg(m_runtime.errorString());
        return;
    }
    // The server refuses a runtime folder others may enter.
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray runtime = QFile::encodeName(m_runtime.path());
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("PIPEWIRE_RUNTIME_DIR", runtime);
    qunsetenv("PIPEWIRE_REMOTE");
    qunsetenv("PULSE_SERVER");
    for (QProcess& daemon : m_daemons) {
        // A daemon goes when the test does, also when the test dies without cleaning up.
        daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon.setStandardErrorFile(QProcess::nullDevice());
    }
    // The session manager and the PulseAudio server find each other on a bus of their own.
    if (!launch(Bus, QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address")}))
        return;
    m_daemons[Bus].waitForReadyRead(kStartMilliseconds);
    const QByteArray bus = m_daemons[Bus].readLine().trimmed();
    if (bus.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon gives no address");
        stop();
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    start();
}

KPPipeWireServer::~KPPipeWireServer()
{
    stop();
    qunsetenv("PIPEWIRE_RUNTIME_DIR");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
}

bool KPPipeWireServer::start()
{
    m_error.clear();
    const QDeadlineTimer deadline(kStartMilliseconds);
    const QString socket = m_runtime.filePath(QStringLiteral("pipewire-0"));
    QFile::remove(socket);
    if (!launch(Server, QStringLiteral("pipewire"), {}))
        return false;
    if (!waitFor(deadline, [&socket] { return QFileInfo::exists(socket); })) {
        m_error = QStringLiteral("pipewire makes no socket");
        kill();
        return false;
    }
    if (!launch(SessionManager, QStringLiteral("wireplumber"), {}) ||
        !launch(Pulse, QStringLiteral("pipewire-pulse"), {}))
        return false;
    const QString sink = QString::fromLatin1(kSink);
    const bool ready =
        waitFor(deadline, [this] { return !pactl({QStringLiteral("info")}).isNull(); }) &&
        !pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                QStringLiteral("sink_name=") + sink})
             .isNull() &&
        !pactl({QStringLiteral("set-default-sink"), sink}).isNull() &&
        // The session manager has taken it up: a new stream goes there.
        waitFor(deadline, [this, &sink] {
            return pactl({QStringLiteral("get-default-sink")}).trimmed() == sink.toLatin1();
        });
    if (!ready) {
        m_error = QStringLiteral("pipewire-pulse does not make the null sink the default");
        kill();
    }
    return ready;
}

void KPPipeWireServer::kill()
{
    for (Daemon daemon : {Pulse, SessionManager, Server}) {
        m_daemons[daemon].kill();
        m_daemons[daemon].waitForFinished();
    }
}

bool KPPipeWireServer::launch(Daemon daemon, const QString& program, const QStringList& arguments)
{
    QProcess& process = m_daemons[daemon];
    process.start(program, arguments);
    if (process.waitForStarted())
        return true;
    m_error = QStringLiteral("%1 does not start: %2").arg(program, process.errorString());
    stop();
    return false;
}

QByteArray KPPipeWireServer::pactl(const QStringList& arguments) const
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(kStartMilliseconds) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    const QByteArray output = process.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}

void KPPipeWireServer::stop()
{
    kill();
    m_daemons[Bus].terminate();
    if (!m_daemons[Bus].waitForFinished(5000))
        m_daemons[Bus].kill();
    m_daemons[Bus].waitForFinished();
}
