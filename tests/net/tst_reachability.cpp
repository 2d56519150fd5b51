#include "KPFakeReachabilityBackend.h"
#include "net/KPReachability.h"

#include <QProcess>
#include <QThread>
#include <QtTest>

#include <unistd.h>

namespace {

using Flag = KPReachabilityFlag;
using Status = KPReachability::NetworkStatus;

bool run(const QStringList& command)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

Q_DECLARE_METATYPE(KPReachabilityFlags)

class TestReachability : public QObject
{
    Q_OBJECT

private slots:
    void flagsGiveStatus_data();
    void flagsGiveStatus();
    void targetsWithoutFlagsOrBackend();
    void notifierPostsOncePerChangeOnItsThread();
    void notifierFollowsARealRouteInANamespace();
};

void TestReachability::flagsGiveStatus_data()
{
    QTest::addColumn<bool>("local");
    QTest::addColumn<KPReachabilityFlags>("flags");
    QTest::addColumn<Status>("status");
    const KPReachabilityFlags reachable(Flag::Reachable);
    const KPReachabilityFlags required = reachable | Flag::ConnectionRequired;
    QTest::newRow("wide-area") << false << (reachable | Flag::IsWWAN) << Status::ReachableViaWWAN;
    QTest::newRow("on traffic") << false << (required | Flag::ConnectionOnTraffic)
                                << Status::ReachableViaWiFi;
    QTest::newRow("on traffic, user needed")
        << false << (required | Flag::ConnectionOnTraffic | Flag::InterventionRequired)
        << Status::NotReachable;
    QTest::newRow("required alone") << false << required << Status::NotReachable;
    QTest::newRow("all but reachable")
        << false << KPReachabilityFlags(0x7003D) << Status::NotReachable;
    QTest::newRow("local, direct")
        << true << (reachable | Flag::IsDirect) << Status::ReachableViaWiFi;
    QTest::newRow("local, not direct") << true << reachable << Status::NotReachable;
}

void TestReachability::flagsGiveStatus()
{
    QFETCH(bool, local);
    QFETCH(KPReachabilityFlags, flags);
    QFETCH(Status, status);
    KPFakeReachabilityBackend backend;
    (local ? backend.local : backend.internet) = flags;
    const auto target = local ? KPReachability::reachabilityForLocalWiFi(&backend)
                              : KPReachability::reachabilityForInternetConnection(&backend);
    QCOMPARE(target->currentReachabilityStatus(), status);
    QCOMPARE(target->connectionRequired(), flags.testFlag(Flag::ConnectionRequired));
}

void TestReachability::targetsWithoutFlagsOrBackend()
{
    KPFakeReachabilityBackend backend;
    const auto byName = KPReachability::reachabilityWithHostName(QStringLiteral("a.org"), &backend);
    QCOMPARE(byName->currentReachabilityStatus(), Status::NotReachable);
    QVERIFY(!byName->connectionRequired());
    backend.internet = Flag::Reachable | Flag::IsWWAN;
    QCOMPARE(byName->currentReachabilityStatus(), Status::ReachableViaWWAN);
    QVERIFY(!KPReachability::reachabilityWithHostName(QString(), &backend));
    QVERIFY(!KPReachability::reachabilityWithAddress(QHostAddress(), &backend));

    const auto orphan = KPReachability::reachabilityForInternetConnection(nullptr);
    QCOMPARE(orphan->currentReachabilityStatus(), Status::NotReachable);
    QVERIFY(!orphan->startNotifier());
}

void TestReachability::notifierPostsOncePerChangeOnItsThread()
{
    KPFakeReachabilityBackend backend;
    const auto internet = KPReachability::reachabilityForInternetConnection(&backend);
    QList<QThread*> deliveries;
    connect(internet.get(), &KPReachability::reachabilityChanged, this,
            [&](KPReachability* sender) {
                QCOMPARE(sender, internet.get());
                deliveries << QThread::currentThread();
            });
    backend.report(KPReachabilityFlags(Flag::Reachable));
    QVERIFY(internet->startNotifier());
    QVERIFY(internet->startNotifier());
    backend.report(KPReachabilityFlags());
    std::unique_ptr<QThread> reporter(QThread::create([&backend] { backend.report({}); }));
    reporter->start();
    QVERIFY(reporter->wait());
    QTRY_COMPARE(deliveries, (QList<QThread*>{QThread::currentThread(), QThread::currentThread()}));
    internet->stopNotifier();
    backend.report(KPReachabilityFlags(Flag::Reachable));
    QCOMPARE(deliveries.size(), 2);
}

// The system's own backend, in a namespace whose only way out is a default route that the
// test adds and removes.
void TestReachability::notifierFollowsARealRouteInANamespace()
{
    if (geteuid() != 0)
        QSKIP("Network namespaces need root");
    const QString ns = QStringLiteral("kptest%1").arg(QCoreApplication::applicationPid());
    const QStringList in = QStringList{"ip", "netns", "exec", ns};
    const auto inside = [&in](const char* command) {
        return run(in + QString(command).split(' '));
    };
    if (!run({"ip", "netns", "add", ns}))
        QSKIP("This machine does not allow network namespaces (ip netns add failed)");
    const auto removeNamespace = qScopeGuard([&ns] { run({"ip", "netns", "del", ns}); });
    if (!inside("ip link add kp0 type veth peer name kp1") || !inside("ip link set kp0 up") ||
        !inside("ip link set kp1 up") || !inside("ip addr add 10.201.0.1/24 dev kp0"))
        QSKIP("This machine does not allow a virtual link in a network namespace");

    QProcess watch;
    watch.start(in.first(), in.mid(1) << QStringLiteral(KP_REACHABILITY_WATCH));
    const auto stop = qScopeGuard([&watch] {
        watch.kill();
        watch.waitForFinished();
    });
    QStringList lines;
    const auto nextLine = [&watch, &lines] {
        if (!QTest::qWaitFor([&watch] { return watch.canReadLine(); }, 5000))
            return false;
        lines << QString::fromLatin1(watch.readLine()).trimmed();
        return true;
    };
    QVERIFY(nextLine());
    QVERIFY(inside("ip route add default via 10.201.0.2 dev kp0"));
    QVERIFY(nextLine());
    QVERIFY(inside("ip route del default"));
    QVERIFY(nextLine());
    QCOMPARE(lines, (QStringList{"0", "1", "0"}));
    QTest::qWait(300);
    QVERIFY2(!watch.canReadLine(), "one notification per change");
}

QTEST_GUILESS_MAIN(TestReachability)
#include "tst_reachability.moc"
