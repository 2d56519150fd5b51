#include "app/KPSingleInstance.h"

#include "app/KPRecordingsExchange.h"
#include "platform/KPClock.h"
#include "recordings/KPRecordingsManager.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QLockFile>
#include <QUuid>
#include <QWidget>

namespace {

const QString kFiles = QStringLiteral("files");
const QString kRaise = QStringLiteral("raise");
const QString kImported = QStringLiteral("imported");
const QString kSaved = QStringLiteral("saved");
const QString kDates = QStringLiteral("dates");
const QString kError = QStringLiteral("error");
const QString kLaunch = QStringLiteral("launch");

// Names this process in its requests, so that the window knows a file it hands over twice.
const QString& launchName()
{
    static const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return name;
}

QByteArray lineOf(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString filesText(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

} // namespace

QString KPSingleInstance::defaultName()
{
    return nameFor(KPRecordingsManager::recordingsDataFile());
}

QString KPSingleInstance::nameFor(const QString& archivePath)
{
    // The session's runtime folder; without one (a terminal with no session), the archive's own
    // folder, which is the user's too.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        folder = archivePath.isEmpty() ? QDir::tempPath() : QFileInfo(archivePath).absolutePath();
    const QByteArray hash =
        QCryptographicHash::hash(archivePath.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir(folder).filePath(QStringLiteral("touchpiano-") + QString::fromLatin1(hash));
}

KPSingleInstance::KPSingleInstance(const QString& name, std::chrono::milliseconds timeout,
                                   QObject* parent)
    : QObject(parent), m_name(name), m_timeout(timeout),
      m_windowLock(name + QStringLiteral(".window"))
{}

KPSingleInstance::~KPSingleInstance() = default;

KPSingleInstance::Claim KPSingleInstance::claim(const QStringList& files, const QString& idiom)
{
    QStringList absolute;
    for (const QString& file : files)
        absolute << QFileInfo(file).absoluteFilePath();
    // Launches claim one at a time, so that of two started together one listens and the other
    // finds it, and so that a socket nobody answers on is known to be left over.
    QLockFile lock(m_name + QStringLiteral(".lock"));
    if (!lock.tryLock(int(2 * m_timeout.count()))) {
        qWarning("KPSingleInstance: could not lock %s", qPrintable(lock.fileName()));
        return alone();
    }
    m_claimedDates.clear();
    for (qsizetype i = 0; i < absolute.size(); ++i)
        m_claimedDates << QDateTime::currentDateTime();
    const Reply reply = ask(absolute, true, m_claimedDates);
    if (reply.outcome == Outcome::NoAnswer)
        return alone();
    if (reply.outcome == Outcome::Answered) {
        m_notImported = reply.imported.count(false);
        QString said = QStringLiteral("Touch Piano is already running: brought its window forward");
        if (!absolute.isEmpty())
            said += QStringLiteral(" and handed it %1, %2 imported")
                        .arg(filesText(absolute.size()))
                        .arg(reply.imported.count(true));
        if (!idiom.isEmpty())
            said += QStringLiteral("; its layout stays as it is (--idiom %1 is for a new window)")
                        .arg(idiom);
        qInfo("KPSingleInstance: %s", qPrintable(said));
        return Claim::HandedOver;
    }
    if (!m_windowLock.tryLock())
        return alone();
    return listen() ? Claim::Owner : Claim::Alone;
}

// Without the hand-over, a window only where no other holds this archive.
KPSingleInstance::Claim KPSingleInstance::alone()
{
    if (m_windowLock.tryLock()) {
        qWarning("KPSingleInstance: opening a window of its own");
        return Claim::Alone;
    }
    qWarning("KPSingleInstance: a Touch Piano window is open on these recordings but does not "
             "answer; no second window opens");
    return Claim::Refused;
}

bool KPSingleInstance::listen()
{
    // Nobody answered on it while we hold the lock: a process ended without closing it.
    if (QFileInfo::exists(m_name)) {
        qInfo("KPSingleInstance: taking over %s, left by an instance that has ended",
              qPrintable(m_name));
        QLocalServer::removeServer(m_name);
    }
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_name))
        return true;
    qWarning("KPSingleInstance: cannot listen at %s (%s); later launches open windows of their own",
             qPrintable(m_name), qPrintable(m_server.errorString()));
    return false;
}

void KPSingleInstance::serve(KPRecordingsExchange& exchange, KPRecordingsManager& manager,
                             QWidget* window)
{
    m_exchange = &exchange;
    m_manager = &manager;
    m_window = window;
    if (!m_server.isListening())
        return;
    connect(&m_server, &QLocalServer::newConnection, this, &KPSingleInstance::acceptConnections);
    // Those that came while the window was being made.
    acceptConnections();
}

void KPSingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        // A client that says nothing is not kept for ever.
        KPClock::current().wakeAt(socket, KPClock::current().now() + m_timeout,
                                  KPClock::Precision::Millisecond, [socket] {
                                      socket->abort();
                                      socket->deleteLater();
                                  });
        readRequest(socket);
    }
}

void KPSingleInstance::readRequest(QLocalSocket* socket)
{
    if (socket->bytesAvailable() > kMaxMessageBytes) {
        qWarning("KPSingleInstance: a request longer than %lld bytes was refused",
                 qlonglong(kMaxMessageBytes));
        socket->abort();
        return;
    }
    if (!socket->canReadLine())
        return;
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    const QByteArray reply = answer(socket->readLine());
    if (reply.isEmpty()) {
        socket->abort();
        return;
    }
    socket->write(reply);
    socket->disconnectFromServer();
}

QByteArray KPSingleInstance::answer(const QByteArray& request)
{
    const QJsonDocument document = QJsonDocument::fromJson(request);
    if (!document.isObject()) {
        qWarning("KPSingleInstance: a request that is not a JSON object was ignored");
        return {};
    }
    const QJsonObject object = document.object();
    const QJsonArray files = object.value(kFiles).toArray();
    const QJsonArray dates = object.value(kDates).toArray();
    // Bounded work: a request past its size is not served; the asker goes on alone.
    if (files.size() > kFilesPerRequest) {
        qWarning("KPSingleInstance: a request naming %lld files (at most %lld) was refused",
                 qlonglong(files.size()), qlonglong(kFilesPerRequest));
        return {};
    }
    const QString launch = object.value(kLaunch).toString();
    const auto noneImported = [&files] {
        QJsonArray none;
        for (qsizetype i = 0; i < files.size(); ++i)
            none.append(false);
        return none;
    };
    QJsonArray imported = noneImported();
    qsizetype importedCount = 0;
    QStringList paths;
    QList<QDateTime> takeDates;
    QList<qsizetype> positions;
    QStringList keys;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = files.at(i).toString();
        // The asking process resolves its paths: a relative one would mean another folder here.
        if (!QFileInfo(path).isAbsolute()) {
            qWarning("KPSingleInstance: \"%s\" is not an absolute path; not imported",
                     qPrintable(path));
            continue;
        }
        const QJsonValue date = dates.at(i);
        // A launch that gave up waiting hands the same file again, as dated before.
        const QString key =
            launch + u'\n' + path + u'\n' + QString::number(qint64(date.toDouble()));
        if (!launch.isEmpty() && m_handedOver.contains(key)) {
            qInfo("KPSingleInstance: %s was handed over before; not imported again",
                  qPrintable(path));
            imported[i] = true;
            ++importedCount;
            continue;
        }
        paths << path;
        takeDates << (date.isDouble() ? QDateTime::fromMSecsSinceEpoch(qint64(date.toDouble()))
                                      : QDateTime::currentDateTime());
        positions << i;
        keys << key;
    }
    const qsizetype listed = m_manager->recordings().size();
    const QList<bool> done = m_exchange->importFiles(paths, takeDates);
    for (qsizetype i = 0; i < done.size(); ++i)
        imported[positions[i]] = done[i];
    importedCount += done.count(true);
    // New takes go to the top; one the list held already is not among them.
    const qsizetype added = m_manager->recordings().size() - listed;
    QString error;
    const QMetaObject::Connection failed =
        connect(m_manager, &KPRecordingsManager::saveFailed, this,
                [&error](const QString& reason) { error = reason; });
    m_manager->saveAllRecordings();
    disconnect(failed);
    const bool saved = !m_manager->recordingsStateChanged();
    // Reported as failed, so not kept: the asker may try again without making a duplicate.
    if (!saved && importedCount > 0) {
        for (qsizetype i = 0; i < added; ++i)
            m_manager->deleteRecording(0);
        importedCount = 0;
        imported = noneImported();
    } else if (!launch.isEmpty()) {
        for (qsizetype i = 0; i < done.size(); ++i) {
            if (done[i])
                m_handedOver.insert(keys[i]);
        }
    }
    if (!files.isEmpty())
        qInfo("KPSingleInstance: another launch handed over %s, %lld imported",
              qPrintable(filesText(files.size())), qlonglong(importedCount));
    if (object.value(kRaise).toBool() && m_window) {
        QWidget* window = m_window->window();
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    }
    return lineOf({{kImported, imported}, {kSaved, saved}, {kError, error}});
}

KPSingleInstance::Reply KPSingleInstance::ask(const QStringList& files, bool raise,
                                              const QList<QDateTime>& dates)
{
    Reply reply;
    qsizetype first = 0;
    do {
        const Reply part = askOnce(files.mid(first, kFilesPerRequest), raise && first == 0,
                                   dates.mid(first, kFilesPerRequest));
        reply.outcome = part.outcome;
        reply.imported += part.imported;
        reply.saved = part.saved;
        if (!part.error.isEmpty())
            reply.error = part.error;
        if (part.outcome != Outcome::Answered)
            return reply;
        first += kFilesPerRequest;
    } while (first < files.size());
    return reply;
}

KPSingleInstance::Reply KPSingleInstance::askOnce(const QStringList& files, bool raise,
                                                  const QList<QDateTime>& dates)
{
    Reply reply;
    QJsonArray milliseconds;
    for (const QDateTime& date : dates)
        milliseconds.append(double(date.toMSecsSinceEpoch()));
    const QByteArray request = lineOf({{kFiles, QJsonArray::fromStringList(files)},
                                       {kDates, milliseconds},
                                       {kRaise, raise},
                                       {kLaunch, launchName()}});
    if (request.size() > kMaxMessageBytes) {
        qWarning("KPSingleInstance: %s are too many to hand over; going on alone",
                 qPrintable(filesText(files.size())));
        reply.outcome = Outcome::NoAnswer;
        return reply;
    }

    QLocalSocket socket;
    QEventLoop loop;
    bool connected = false;
    bool done = false;
    const auto finish = [&](Outcome outcome, const QString& why = QString()) {
        if (done)
            return;
        done = true;
        reply.outcome = outcome;
        if (!why.isEmpty())
            qWarning("KPSingleInstance: the running Touch Piano %s; going on alone",
                     qPrintable(why));
        loop.quit();
    };
    connect(&socket, &QLocalSocket::connected, &loop, [&] {
        connected = true;
        socket.write(request);
    });
    connect(
        &socket, &QLocalSocket::errorOccurred, &loop, [&](QLocalSocket::LocalSocketError error) {
            const bool nobody = !connected && (error == QLocalSocket::ServerNotFoundError ||
                                               error == QLocalSocket::ConnectionRefusedError);
            if (nobody)
                finish(Outcome::NoneRunning);
            else
                finish(Outcome::NoAnswer,
                       QStringLiteral("closed without answering (%1)").arg(socket.errorString()));
        });
    connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        if (socket.bytesAvailable() > kMaxMessageBytes)
            return finish(Outcome::NoAnswer, QStringLiteral("answered too long"));
        if (!socket.canReadLine())
            return;
        const QJsonObject answer = QJsonDocument::fromJson(socket.readLine()).object();
        const QJsonArray imported = answer.value(kImported).toArray();
        if (imported.size() != files.size() || !answer.value(kSaved).isBool())
            return finish(Outcome::NoAnswer, QStringLiteral("answered something else"));
        for (const auto& value : imported)
            reply.imported << value.toBool();
        reply.saved = answer.value(kSaved).toBool();
        reply.error = answer.value(kError).toString();
        finish(Outcome::Answered);
    });
    KPClock::current().wakeAt(
        &socket, KPClock::current().now() + m_timeout, KPClock::Precision::Millisecond, [&] {
            finish(Outcome::NoAnswer,
                   QStringLiteral("did not answer within %1 ms").arg(m_timeout.count()));
        });
    socket.connectToServer(m_name);
    if (!done)
        loop.exec();
    return reply;
}
