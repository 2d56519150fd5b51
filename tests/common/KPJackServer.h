#pragma once

#include <QLockFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// A JACK server of its own for one test: `jackd -d dummy` under a name no other running test
// uses, made the default server of this process (JACK_DEFAULT_SERVER) while it runs.
class KPJackServer
{
public:
    // Realtime: the server and its clients' cycles run at real-time priority, as on a studio
    // machine, where other work cannot delay them (where the system allows it; elsewhere they
    // run as Normal). A test's frame counts hold only so on a loaded machine.
    enum class Scheduling { Normal, Realtime };

    // Starts the server and waits until a client can connect; see error() when that failed.
    explicit KPJackServer(int periodFrames = 64, int sampleRate = 48000,
                          Scheduling scheduling = Scheduling::Realtime);
    ~KPJackServer();
    KPJackServer(const KPJackServer&) = delete;
    KPJackServer& operator=(const KPJackServer&) = delete;

    bool isRunning() const { return m_error.isEmpty(); }
    // Why the server is not running, for a skip message.
    const QString& error() const { return m_error; }
    const QString& name() const { return m_name; }

private:
    static constexpr int kNames = 8;

    // Starts jackd and waits until it answers; false (and the reason in m_error) when it ends or
    // does not answer.
    bool start(const QString& jackd, const QStringList& arguments);

    QString m_name;
    std::unique_ptr<QLockFile> m_nameLock;
    QProcess m_process;
    QString m_error;
};
