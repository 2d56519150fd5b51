#pragma once

#include "net/KPNetworkInformationBackend.h"
#include "net/KPReachabilityBackend.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include <memory>

// Whether one target (a host name, an address, or the internet in general) can be reached now,
// and by which kind of network. While its notifier runs, the object emits
// reachabilityChanged() once per change its backend reports, on the thread it lives in.
// A host name or address answers with the status of the internet in general: the system
// reports reachability for the machine, not per destination. Without a backend nothing is
// reachable and the notifier cannot start.
class KPReachability : public QObject
{
    Q_OBJECT

public:
    enum class NetworkStatus {
        NotReachable = 0,
        ReachableViaWiFi = 1,
        ReachableViaWWAN = 2,
    };

    static constexpr const char* kReachabilityChangedNotification =
        "KPReachabilityChangedNotification";

    // Each answers null when the target cannot be made (an empty name, a null address).
    static std::unique_ptr<KPReachability> reachabilityWithHostName(
        const QString& hostName,
        KPReachabilityBackend* backend = KPNetworkInformationBackend::shared());
    static std::unique_ptr<KPReachability>
    reachabilityWithAddress(const QHostAddress& address,
                            KPReachabilityBackend* backend = KPNetworkInformationBackend::shared());
    // The zero address: the internet in general.
    static std::unique_ptr<KPReachability> reachabilityForInternetConnection(
        KPReachabilityBackend* backend = KPNetworkInformationBackend::shared());
    // 169.254.0.0: the link-local network, answered through reachable and direct.
    static std::unique_ptr<KPReachability> reachabilityForLocalWiFi(
        KPReachabilityBackend* backend = KPNetworkInformationBackend::shared());

    ~KPReachability() override;

    bool startNotifier();
    void stopNotifier();
    NetworkStatus currentReachabilityStatus() const;
    bool connectionRequired() const;

    static NetworkStatus networkStatusForFlags(KPReachabilityFlags flags);
    static NetworkStatus localWiFiStatusForFlags(KPReachabilityFlags flags);

signals:
    // kReachabilityChangedNotification, with this object as its sender.
    void reachabilityChanged(KPReachability* reachability);

private:
    KPReachability(KPReachabilityBackend* backend, bool localWiFi);

    bool m_localWiFiRef;
    QPointer<KPReachabilityBackend> m_backend;
    QMetaObject::Connection m_notifier;
};
