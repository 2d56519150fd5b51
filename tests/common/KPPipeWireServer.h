#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <array>

// A PipeWire server of its own for one test process: the server, its session manager and its
// PulseAudio server in a runtime folder of their own on a session bus of their own, with a null
// sink "kpnull" as the default sink, whose monitor hears what is played. While it exists the
// process finds that server (XDG_RUNTIME_DIR, PIPEWIRE_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS).
class KPPipeWireServer
{
public:
    static constexpr const char* kSink = "kpnull";

    // Starts the server and waits until it plays to the null sink; see error() when that failed.
    KPPipeWireServer();
    ~KPPipeWireServer();
    KPPipeWireServer(const KPPipeWireServer&) = delete;
    KPPipeWireServer& operator=(const KPPipeWireServer&) = delete;

    bool isRunning() const { return m_error.isEmpty(); }
    // Why the server is not running, for a skip message.
    const QString& error() const { return m_error; }

    // Kills the server, as a crash would; start() brings it back.
    void kill();
    bool start();

private:
    enum Daemon { Bus, Server, SessionManager, Pulse, kDaemons };

    bool launch(Daemon daemon, const QString& program, const QStringList& arguments);
    // Runs pactl; its standard output, or null when it fails.
    QByteArray pactl(const QStringList& arguments) const;
    void stop();

    QTemporaryDir m_runtime;
    std::array<QProcess, kDaemons> m_daemons;
    QString m_error;
};
