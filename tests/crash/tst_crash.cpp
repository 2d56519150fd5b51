#include "crash/KPCrashHandler.h"
#include "crash/KPCrashReporter.h"
#include "crash/KPCrashReportSender.h"
#include "KPTestHttpServer.h"
#include "platform/KPLocalization.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

constexpr auto kChildArgument = "crash-child";
const QByteArray kEndpoint = "/crashreport/submit.php";

// Runs this executable as a child that installs the handler and dies of the given signal.
QProcess* crashChild(const QString& folder, int signal)
{
    auto* child = new QProcess(qApp);
    // The address sanitizer of a checked build would take the signal the handler passes on.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":handle_segv=0"));
    child->setProcessEnvironment(environment);
    child->start(QCoreApplication::applicationFilePath(),
                 {QString::fromLatin1(kChildArgument), folder, QString::number(signal)});
    child->waitForFinished(30000);
    return child;
}

// The fault is the point: the sanitizers of a checked build must let it happen.
[[noreturn]] __attribute__((no_sanitize("address", "undefined"))) void
runCrashingChild(char* argv[])
{
    KPCrashHandler::install(QString::fromLocal8Bit(argv[2]), QStringLiteral("9.9.1"));
    if (std::atoi(argv[3]) == SIGSEGV)
        *static_cast<volatile int*>(nullptr) = 1;
    std::abort();
}

QMessageBox* shownQuestion()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// Reports of two crashed runs, a server answering the endpoint with the status, a reporter.
struct Rig
{
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("reports"));
    KPUserDefaults defaults{
        std::make_unique<QSettings>(dir.filePath(QStringLiteral("d.ini")), QSettings::IniFormat)};
    KPTestHttpServer server;
    KPCrashReporter reporter{defaults, folder, server.url()};
    QSignalSpy finished{&reporter, &KPCrashReporter::finished};

    explicit Rig(int status, bool alwaysSend)
    {
        crashChild(folder, SIGSEGV);
        crashChild(folder, SIGABRT);
        KPTestHttpServer::Response response;
        response.status = status;
        server.answer(kEndpoint, response);
        defaults.setValue(QString::fromLatin1(KPCrashReporter::kAlwaysSendKey), alwaysSend);
    }
};

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void aCrashLeavesAReport_data();
    void aCrashLeavesAReport();
    void alwaysSendDeletesOnlyWhatTheServerAccepted_data();
    void alwaysSendDeletesOnlyWhatTheServerAccepted();
    void nothingLeavesBeforeTheAnswer_data();
    void nothingLeavesBeforeTheAnswer();
};

void TestCrash::aCrashLeavesAReport_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("invalid memory access") << int(SIGSEGV) << QByteArray("SIGSEGV");
    QTest::newRow("abort") << int(SIGABRT) << QByteArray("SIGABRT");
}

void TestCrash::aCrashLeavesAReport()
{
    QFETCH(int, signal);
    QFETCH(QByteArray, name);
    QTemporaryDir dir;
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QProcess* child = crashChild(dir.path(), signal);
    // The handler passes the signal on: the child still dies of it.
    QCOMPARE(child->exitStatus(), QProcess::CrashExit);
    QCOMPARE(child->exitCode(), signal);

    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    QFile file(KPCrashReportSender::waitingReports(dir.path()).value(0));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.value(0), "signal: " + QByteArray::number(signal) + " (" + name + ")");
    QCOMPARE(lines.value(1), QByteArray("version: 9.9.1"));
    QVERIFY(lines.value(2).startsWith("time: ") && lines.value(2).mid(6).toLongLong() >= before);
    // The first frames are the handler's (after the sanitizer's own, in a checked build).
    const qsizetype frames = lines.indexOf("backtrace:");
    QVERIFY(frames > 0);
    QVERIFY(std::any_of(lines.begin() + frames + 1,
                        lines.begin() + std::min(frames + 4, lines.size()),
                        [](const QByteArray& line) { return line.contains("tst_crash"); }));
    // Files are named relative to the installation prefix: no user's home folder in them.
    const QString prefix = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/..");
    for (const QByteArray& line : lines.mid(frames + 1))
        QVERIFY2(!line.startsWith('/') && !line.contains(QFile::encodeName(prefix)), line);
    QVERIFY(std::any_of(lines.begin() + frames + 1, lines.end(), [](const QByteArray& line) {
        return line.startsWith("crash/tst_crash(");
    }));
}

void TestCrash::alwaysSendDeletesOnlyWhatTheServerAccepted_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("kept");
    QTest::newRow("accepted") << 200 << 0;
    QTest::newRow("refused") << 500 << 2;
}

void TestCrash::alwaysSendDeletesOnlyWhatTheServerAccepted()
{
    QFETCH(int, status);
    QFETCH(int, kept);
    Rig rig(status, true);
    const QStringList reports = KPCrashReportSender::waitingReports(rig.folder);
    QFile first(reports.value(0));
    QVERIFY(first.open(QIODevice::ReadOnly));

    rig.reporter.start();
    QVERIFY(rig.finished.wait());
    QVERIFY(!shownQuestion());
    QCOMPARE(rig.server.requests().size(), 2);
    QCOMPARE(rig.server.requests().first().method, QByteArray("POST"));
    QCOMPARE(rig.server.requests().first().target, kEndpoint);
    QCOMPARE(rig.server.requests().first().body, first.readAll());
    QCOMPARE(KPCrashReportSender::waitingReports(rig.folder).size(), kept);
}

void TestCrash::nothingLeavesBeforeTheAnswer_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("sent");
    QTest::addColumn<bool>("remembered");
    QTest::newRow("send") << int(QMessageBox::AcceptRole) << 2 << false;
    QTest::newRow("don't send") << int(QMessageBox::RejectRole) << 0 << false;
    QTest::newRow("always send") << int(QMessageBox::YesRole) << 2 << true;
}

void TestCrash::nothingLeavesBeforeTheAnswer()
{
    QFETCH(int, answer);
    QFETCH(int, sent);
    QFETCH(bool, remembered);
    KPLocalization::install(QLocale(QLocale::English));
    Rig rig(200, false);
    QWidget window;
    window.show();
    rig.reporter.setWindow(&window);
    rig.reporter.start();
    QTRY_VERIFY(shownQuestion());
    QMessageBox* question = shownQuestion();
    QVERIFY(!question->isModal());
    // In front of the piano's window, not of some helper window hidden behind it.
    QCOMPARE(question->windowHandle()->transientParent(), window.windowHandle());
    QTest::qWait(50);
    QCOMPARE(rig.server.requests().size(), 0);

    for (QAbstractButton* button : question->buttons()) {
        QVERIFY(!button->text().isEmpty());
        if (question->buttonRole(button) == answer)
            button->click();
    }
    QVERIFY(rig.finished.size() == 1 || rig.finished.wait());
    QCOMPARE(rig.server.requests().size(), sent);
    // Sent or declined, they are not asked about again.
    QVERIFY(KPCrashReportSender::waitingReports(rig.folder).isEmpty());
    QCOMPARE(rig.defaults.value(QString::fromLatin1(KPCrashReporter::kAlwaysSendKey)).toBool(),
             remembered);
}

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], kChildArgument) == 0)
        runCrashingChild(argv);
    QApplication application(argc, argv);
    TestCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
