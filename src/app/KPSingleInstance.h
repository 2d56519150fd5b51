#pragma once

#include "platform/KPFileLock.h"

#include <QDateTime>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <chrono>

class KPRecordingsExchange;
class KPRecordingsManager;
class QLocalSocket;
class QWidget;

// One window per recordings archive. The window's process listens on a local socket named after
// the archive, in the user's runtime folder; a later launch hands it its MIDI files and ends,
// and the command line's recordings commands go through it, so that the list is kept, and
// saved, by one process only.
//
// A request is one line of JSON: {"files": [absolute paths], "dates": [milliseconds since the
// epoch, one per file], "raise": bool, "launch": the asking process's name}; the answer is one
// line, {"imported": [bool per file], "saved": bool, "error": text}, sent once the files are
// imported and the list saved. Imports that could not be saved are taken back before the answer, so
// an import is in the list exactly when it is reported imported; each is dated as asked, so the
// asking process can tell its own recording in the file. Lines longer than kMaxMessageBytes are
// refused. A process that does not answer within the timeout is left alone: the asking one goes on
// by itself. A request names at most kFilesPerRequest files, so that the window answers each within
// the timeout however many a launch hands over; a window that answers late imports nothing twice,
// since each file's date makes its take known (see KPRecordingsExchange::importFiles).
//
// The window's process also holds a lock (the socket's name + ".window") for its whole run: a
// launch that cannot reach the window opens no second one on the same archive.
class KPSingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxMessageBytes = 1 << 20;
    static constexpr qsizetype kFilesPerRequest = 16;

    enum class Claim {
        // Listening (or took over a socket left by a crash): this process keeps the window.
        Owner,
        // A running instance took the work; this process has nothing left to do.
        HandedOver,
        // No running instance could be reached or become: a window of its own, unshared.
        Alone,
        // A window for this archive runs but did not answer: no second window may open.
        Refused,
    };
    enum class Outcome { Answered, NoneRunning, NoAnswer };
    struct Reply
    {
        Outcome outcome = Outcome::NoneRunning;
        QList<bool> imported;
        bool saved = false;
        QString error;
    };

    // The socket for the program's own archive.
    static QString defaultName();
    static QString nameFor(const QString& archivePath);

    explicit KPSingleInstance(const QString& name = defaultName(),
                              std::chrono::milliseconds timeout = std::chrono::seconds(5),
                              QObject* parent = nullptr);
    ~KPSingleInstance() override;

    // For a launch of the window: hands `files` (made absolute) to the running instance and asks
    // it to come forward, or becomes the running instance. `idiom`, when given, is the layout
    // this launch asked for, which a running window keeps as it is: the log says so.
    Claim claim(const QStringList& files, const QString& idiom = QString());
    // The date claim() gave each file's take: a launch that goes on alone imports them so dated,
    // so that the window, answering late, knows them.
    const QList<QDateTime>& claimedDates() const { return m_claimedDates; }
    // How many files handed over by claim() the window did not import.
    qsizetype notImported() const { return m_notImported; }
    // Once the window is made: the owner imports handed files through `exchange` (as a drop),
    // saves `manager`'s list and brings `window` forward when asked.
    void serve(KPRecordingsExchange& exchange, KPRecordingsManager& manager, QWidget* window);
    // Sends the files to the running instance, kFilesPerRequest at a time, and waits for each
    // answer at most the timeout; the reply is the first that was not answered, with what was
    // imported until then. `dates`, when given, dates each file's recording.
    Reply ask(const QStringList& files, bool raise, const QList<QDateTime>& dates = {});

private:
    Reply askOnce(const QStringList& files, bool raise, const QList<QDateTime>& dates);
    bool listen();
    Claim alone();
    void acceptConnections();
    void readRequest(QLocalSocket* socket);
    QByteArray answer(const QByteArray& request);

    QString m_name;
    std::chrono::milliseconds m_timeout;
    QLocalServer m_server;
    KPFileLock m_windowLock;
    KPRecordingsExchange* m_exchange = nullptr;
    KPRecordingsManager* m_manager = nullptr;
    QPointer<QWidget> m_window;
    QList<QDateTime> m_claimedDates;
    // Each file imported from a request, by the asking launch, its path and its date.
    QSet<QString> m_handedOver;
    qsizetype m_notImported = 0;
};
