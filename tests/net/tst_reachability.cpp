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
Q_DECLARE_METATYPE(std::optional<KPReachabilityFlags>)

class TestReachability : public QObject
{
    Q_OBJECT

private slots:
    void networkStatusForFlags_data();
    void networkStatusForFlags();
    void localWiFiStatusForFlags_data();
    void localWiFiStatusForFlags();
    void networkInformationBecomesFlags_data();
    void networkInformationBecomesFlags();
    void statusComesFromTheBackend();
    void namesAndAddressesAnswerForTheInternet();
    void withoutBackendNothingIsReachable();
    void notifierPostsOncePerChange();
    void notificationArrivesOnTheObjectsThread();
    void notifierFollowsARealRouteInANamespace();
};

void TestReachability::networkStatusForFlags_data()
{
    QTest::addColumn<KPReachabilityFlags>("flags");
    QTest::addColumn<Status>("status");
    QTest::newRow("reachable + wide-area")
        << (Flag::Reachable | Flag::IsWWAN) << Status::ReachableViaWWAN;
    QTest::newRow("reachable alone")
        << KPReachabilityFlags(Flag::Reachable) << Status::ReachableViaWiFi;
    QTest::newRow("connection on traffic")
        << (Flag::Reachable | Flag::ConnectionRequired | Flag::ConnectionOnTraffic)
        << Status::ReachableViaWiFi;
    QTest::newRow("connection on demand")
        << (Flag::Reachable | Flag::ConnectionRequired | Flag::ConnectionOnDemand)
        << Status::ReachableViaWiFi;
    QTest::newRow("on traffic but needs the user")
        << (Flag::Reachable | Flag::ConnectionRequired | Flag::ConnectionOnTraffic |
            Flag::InterventionRequired)
        << Status::NotReachable;
    QTest::newRow("connection required alone")
        << (Flag::Reachable | Flag::ConnectionRequired) << Status::NotReachable;
    QTest::newRow("everything but reachable")
        << KPReachabilityFlags(0x70000 | 0x3D) << Status::NotReachable;
}

void TestReachability::networkStatusForFlags()
{
    QFETCH(KPReachabilityFlags, flags);
    QFETCH(Status, status);
    QCOMPARE(KPReachability::networkStatusForFlags(flags), status);
}

void TestReachability::localWiFiStatusForFlags_data()
{
    QTest::addColumn<KPReachabilityFlags>("flags");
    QTest::addColumn<Status>("status");
    QTest::newRow("reachable + direct")
        << (Flag::Reachable | Flag::IsDirect) << Status::ReachableViaWiFi;
    QTest::newRow("reachable, not direct")
        << (Flag::Reachable | Flag::IsWWAN) << Status::NotReachable;
    QTest::newRow("direct, not reachable")
        << KPReachabilityFlags(Flag::IsDirect) << Status::NotReachable;
}

void TestReachability::localWiFiStatusForFlags()
{
    QFETCH(KPReachabilityFlags, flags);
    QFETCH(Status, status);
    QCOMPARE(KPReachability::localWiFiStatusForFlags(flags), status);
}

void TestReachability::networkInformationBecomesFlags_data()
{
    using R = QNetworkInformation::Reachability;
    using M = QNetworkInformation::TransportMedium;
    QTest::addColumn<R>("reachability");
    QTest::addColumn<M>("medium");
    QTest::addColumn<bool>("localNetwork");
    QTest::addColumn<std::optional<KPReachabilityFlags>>("flags");
    QTest::newRow("online by ethernet")
        << R::Online << M::Ethernet << false << std::optional(KPReachabilityFlags(Flag::Reachable));
    QTest::newRow("online by cellular")
        << R::Online << M::Cellular << false << std::optional(Flag::Reachable | Flag::IsWWAN);
    QTest::newRow("site only") << R::Site << M::WiFi << false
                               << std::optional(KPReachabilityFlags());
    QTest::newRow("site, local network")
        << R::Site << M::WiFi << true << std::optional(Flag::Reachable | Flag::IsDirect);
    QTest::newRow("disconnected, local network")
        << R::Disconnected << M::Unknown << true << std::optional(KPReachabilityFlags());
    QTest::newRow("unknown cannot be read")
        << R::Unknown << M::Ethernet << false << std::optional<KPReachabilityFlags>();
}

void TestReachability::networkInformationBecomesFlags()
{
    QFETCH(QNetworkInformation::Reachability, reachability);
    QFETCH(QNetworkInformation::TransportMedium, medium);
    QFETCH(bool, localNetwork);
    QFETCH(std::optional<KPReachabilityFlags>, flags);
    QCOMPARE(KPNetworkInformationBackend::flagsFor(reachability, medium, localNetwork), flags);
}

void TestReachability::statusComesFromTheBackend()
{
    KPFakeReachabilityBackend backend;
    const auto internet = KPReachability::reachabilityForInternetConnection(&backend);
    const auto local = KPReachability::reachabilityForLocalWiFi(&backend);
    QCOMPARE(internet->currentReachabilityStatus(), Status::NotReachable);
    QVERIFY(!internet->connectionRequired());

    backend.internet = Flag::Reachable | Flag::ConnectionRequired;
    backend.local = KPReachabilityFlags(Flag::Reachable);
    QVERIFY(internet->connectionRequired());
    QCOMPARE(local->currentReachabilityStatus(), Status::NotReachable);
    backend.internet = Flag::Reachable | Flag::IsWWAN;
    backend.local = Flag::Reachable | Flag::IsDirect;
    QCOMPARE(internet->currentReachabilityStatus(), Status::ReachableViaWWAN);
    QCOMPARE(local->currentReachabilityStatus(), Status::ReachableViaWiFi);
}

void TestReachability::namesAndAddressesAnswerForTheInternet()
{
    KPFakeReachabilityBackend backend;
    backend.internet = Flag::Reachable | Flag::IsWWAN;
    const auto byName =
        KPReachability::reachabilityWithHostName(QStringLiteral("example.org"), &backend);
    const auto byAddress = KPReachability::reachabilityWithAddress(
        QHostAddress(QStringLiteral("192.0.2.1")), &backend);
    QCOMPARE(byName->currentReachabilityStatus(), Status::ReachableViaWWAN);
    QCOMPARE(byAddress->currentReachabilityStatus(), Status::ReachableViaWWAN);
    QVERIFY(!KPReachability::reachabilityWithHostName(QString(), &backend));
    QVERIFY(!KPReachability::reachabilityWithAddress(QHostAddress(), &backend));
}

void TestReachability::withoutBackendNothingIsReachable()
{
    const auto internet = KPReachability::reachabilityForInternetConnection(nullptr);
    QCOMPARE(internet->currentReachabilityStatus(), Status::NotReachable);
    QVERIFY(!internet->startNotifier());
}

void TestReachability::notifierPostsOncePerChange()
{
    KPFakeReachabilityBackend backend;
    const auto internet = KPReachability::reachabilityForInternetConnection(&backend);
    QSignalSpy spy(internet.get(), &KPReachability::reachabilityChanged);
    backend.report(KPReachabilityFlags(Flag::Reachable));
    QCOMPARE(spy.count(), 0);

    QVERIFY(internet->startNotifier());
    QVERIFY(internet->startNotifier());
    backend.report(KPReachabilityFlags(Flag::Reachable));
    backend.report(KPReachabilityFlags());
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).value<KPReachability*>(), internet.get());

    internet->stopNotifier();
    backend.report(KPReachabilityFlags(Flag::Reachable));
    QCOMPARE(spy.count(), 2);
}

void TestReachability::notificationArrivesOnTheObjectsThread()
{
    KPFakeReachabilityBackend backend;
    const auto internet = KPReachability::reachabilityForInternetConnection(&backend);
    QThread* deliveredOn = nullptr;
    connect(internet.get(), &KPReachability::reachabilityChanged, this,
            [&deliveredOn] { deliveredOn = QThread::currentThread(); });
    QVERIFY(internet->startNotifier());
    QThread* reporter =
        QThread::create([&backend] { backend.report(KPReachabilityFlags(Flag::Reachable)); });
    reporter->start();
    QVERIFY(reporter->wait());
    delete reporter;
    QTRY_COMPARE(deliveredOn, QThread::currentThread());
}

// The system's own backend, watched in a namespace whose only way out is a default route
// that the test adds and removes.
void TestReachability::notifierFollowsARealRouteInANamespace()
{
    if (geteuid() != 0)
        QSKIP("Network namespaces need root");
    const QString ns = QStringLiteral("kptest%1").arg(QCoreApplication::applicationPid());
    const QStringList in{QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"), ns};
    if (!run({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("add"), ns}))
        QSKIP("This machine does not allow network namespaces (ip netns add failed)");
    const auto cleanup = qScopeGuard([&ns] {
        run({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("del"), ns});
    });
    const bool linked =
        run(in + QStringLiteral("ip link set lo up").split(' ')) &&
        run(in + QStringLiteral("ip link add kp0 type veth peer name kp1").split(' ')) &&
        run(in + QStringLiteral("ip link set kp0 up").split(' ')) &&
        run(in + QStringLiteral("ip link set kp1 up").split(' ')) &&
        run(in + QStringLiteral("ip addr add 10.201.0.1/24 dev kp0").split(' '));
    if (!linked)
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
    QVERIFY(run(in + QStringLiteral("ip route add default via 10.201.0.2 dev kp0").split(' ')));
    QVERIFY(nextLine());
    QVERIFY(run(in + QStringLiteral("ip route del default").split(' ')));
    QVERIFY(nextLine());
    QCOMPARE(lines, QStringList({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("0")}));
    QTest::qWait(300);
    QVERIFY2(!watch.canReadLine(), "one notification per change");
}

QTEST_GUILESS_MAIN(TestReachability)
#include "tst_reachability.moc"
