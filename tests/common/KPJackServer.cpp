#include "KPJackServer.h"

#include <QCoreApplication>
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
    : m_name(QStringLiteral("touchpiano-test-%1").arg(QCoreApplication::applicationPid()))
{
    const QString jackd = QStandardPaths::findExecutable(QStringLiteral("jackd"));
    if (jackd.isEmpty()) {
        m_error = QStringLiteral("jackd is not installed");
        return;
    }
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    qputenv("JACK_DEFAULT_SERVER", m_name.toUtf8());
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    // The server goes when the test does, also when the test dies without cleaning up.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    // Its dummy driver reports every late cycle, which a loaded machine has many of.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    // A client late by more than the timeout is thrown out; a loaded machine may stall a test
    // process for longer than the default half second.
    m_process.start(jackd, {scheduling == Scheduling::Realtime ? QStringLiteral("--realtime")
                                                               : QStringLiteral("--no-realtime"),
                            QStringLiteral("-t"), QStringLiteral("10000"), QStringLiteral("-n"),
                            m_name, QStringLiteral("-d"), QStringLiteral("dummy"),
                            QStringLiteral("-r"), QString::number(sampleRate), QStringLiteral("-p"),
                            QString::number(periodFrames)});
    if (!m_process.waitForStarted()) {
        m_error = QStringLiteral("jackd does not start: %1").arg(m_process.errorString());
        return;
    }
    QElapsedTimer waited;
    waited.start();
    while (!serverAnswers()) {
        if (m_process.state() != QProcess::Running || waited.elapsed() > 10000) {
            m_error = QStringLiteral("jackd -d dummy does not answer");
            return;
        }
        QThread::msleep(50);
    }
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
