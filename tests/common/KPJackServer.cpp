#include "KPJackServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include <jack/jack.h>
#include <sys/prctl.h>

#include <csignal>

namespace {

void quiet(const char*) {}

bool serverAnswers()
{
    jack_client_t* client = jack_client_open("probe", JackNoStartServer, nullptr);
    if (!client)
        return false;
    jack_client_close(client);
    return true;
}

} // namespace

KPJackServer::KPJackServer(int periodFrames, int sampleRate, Scheduling scheduling)
{
    const QString jackd = QStandardPaths::findExecutable(QStringLiteral("jackd"));
    if (jackd.isEmpty()) {
        m_error = QStringLiteral("jackd is not installed");
        return;
    }
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    // The server goes when the test does, also when the test dies without cleaning up.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // Its dummy driver reports every late cycle, which a loaded machine has many of.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    // A client late by more than the timeout is thrown out; a loaded machine may stall a test
    // process for longer than the default half second.
    const QStringList options{scheduling == Scheduling::Realtime ? QStringLiteral("--realtime")
                                                                 : QStringLiteral("--no-realtime"),
                              QStringLiteral("-t"), QStringLiteral("10000")};
    const QStringList driver{QStringLiteral("-d"), QStringLiteral("dummy"),
                             QStringLiteral("-r"), QString::number(sampleRate),
                             QStringLiteral("-p"), QString::number(periodFrames)};
    // JACK lists at most eight servers, and takes back the entry of one that died without
    // leaving only when another of the same name starts. The tests' servers share eight names,
    // so that those killed with their test never fill the list; a process starts on the name it
    // had before where it can, so that a server started again is found where it was.
    // A lock file per name keeps two tests that start at once off the same one: the second
    // jackd would fail, and its test would take the first one's server for its own.
    static int lastName = int(QCoreApplication::applicationPid() % kNames);
    for (int tried = 0; tried < kNames; ++tried) {
        const int name = (lastName + tried) % kNames;
        m_name = QStringLiteral("touchpiano-test-%1").arg(name);
        m_nameLock = std::make_unique<QLockFile>(
            QDir(QDir::tempPath()).filePath(m_name + QStringLiteral(".lock")));
        // Only the death of its holder frees a name, however long a test runs.
        m_nameLock->setStaleLockTime(0);
        if (!m_nameLock->tryLock(0))
            continue;
        qputenv("JACK_DEFAULT_SERVER", m_name.toUtf8());
        // A server of that name that is not a test's.
        if (serverAnswers())
            continue;
        m_error.clear();
        if (start(jackd, options + QStringList{QStringLiteral("-n"), m_name} + driver)) {
            lastName = name;
            return;
        }
    }
    m_nameLock.reset();
    if (m_error.isEmpty())
        m_error = QStringLiteral("other tests' JACK servers hold every name");
    qunsetenv("JACK_DEFAULT_SERVER");
}

bool KPJackServer::start(const QString& jackd, const QStringList& arguments)
{
    m_process.start(jackd, arguments);
    if (!m_process.waitForStarted()) {
        m_error = QStringLiteral("jackd does not start: %1").arg(m_process.errorString());
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (!serverAnswers() || m_process.state() != QProcess::Running) {
        if (m_process.state() != QProcess::Running || waited.elapsed() > 10000) {
            m_error = QStringLiteral("jackd -d dummy does not answer");
            m_process.kill();
            m_process.waitForFinished();
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

KPJackServer::~KPJackServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }
    qunsetenv("JACK_DEFAULT_SERVER");
}
