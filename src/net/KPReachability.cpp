#include "net/KPReachability.h"

KPReachability::KPReachability(KPReachabilityBackend* backend, bool localWiFi)
    : m_localWiFiRef(localWiFi), m_backend(backend)
{}

KPReachability::~KPReachability()
{
    stopNotifier();
}

std::unique_ptr<KPReachability>
KPReachability::reachabilityWithHostName(const QString& hostName, KPReachabilityBackend* backend)
{
    if (hostName.trimmed().isEmpty())
        return nullptr;
    return std::unique_ptr<KPReachability>(new KPReachability(backend, false));
}

std::unique_ptr<KPReachability>
KPReachability::reachabilityWithAddress(const QHostAddress& address, KPReachabilityBackend* backend)
{
    if (address.isNull())
        return nullptr;
    return std::unique_ptr<KPReachability>(new KPReachability(backend, false));
}

std::unique_ptr<KPReachability>
KPReachability::reachabilityForInternetConnection(KPReachabilityBackend* backend)
{
    return reachabilityWithAddress(QHostAddress(QHostAddress::AnyIPv4), backend);
}

std::unique_ptr<KPReachability>
KPReachability::reachabilityForLocalWiFi(KPReachabilityBackend* backend)
{
    auto reachability =
        reachabilityWithAddress(QHostAddress(QStringLiteral("169.254.0.0")), backend);
    reachability->m_localWiFiRef = true;
    return reachability;
}

bool KPReachability::startNotifier()
{
    if (m_notifier)
        return true;
    if (!m_backend)
        return false;
    m_notifier = connect(m_backend, &KPReachabilityBackend::changed, this,
                         [this] { emit reachabilityChanged(this); });
    return true;
}

void KPReachability::stopNotifier()
{
    disconnect(m_notifier);
    m_notifier = {};
}

KPReachability::NetworkStatus KPReachability::currentReachabilityStatus() const
{
    const auto flags = m_backend ? m_backend->flags(m_localWiFiRef) : std::nullopt;
    if (!flags)
        return NetworkStatus::NotReachable;
    return m_localWiFiRef ? localWiFiStatusForFlags(*flags) : networkStatusForFlags(*flags);
}

bool KPReachability::connectionRequired() const
{
    const auto flags = m_backend ? m_backend->flags(m_localWiFiRef) : std::nullopt;
    return flags && flags->testFlag(KPReachabilityFlag::ConnectionRequired);
}

// Reachable at all comes first; a wide-area link answers for itself; otherwise a connection
// that needs no setting up, or one that sets itself up without the user, counts as Wi-Fi.
KPReachability::NetworkStatus KPReachability::networkStatusForFlags(KPReachabilityFlags flags)
{
    if (!flags.testFlag(KPReachabilityFlag::Reachable))
        return NetworkStatus::NotReachable;
    if (flags.testFlag(KPReachabilityFlag::IsWWAN))
        return NetworkStatus::ReachableViaWWAN;
    if (!flags.testFlag(KPReachabilityFlag::ConnectionRequired))
        return NetworkStatus::ReachableViaWiFi;
    const bool automatic = flags.testFlag(KPReachabilityFlag::ConnectionOnDemand) ||
                           flags.testFlag(KPReachabilityFlag::ConnectionOnTraffic);
    if (automatic && !flags.testFlag(KPReachabilityFlag::InterventionRequired))
        return NetworkStatus::ReachableViaWiFi;
    return NetworkStatus::NotReachable;
}

KPReachability::NetworkStatus KPReachability::localWiFiStatusForFlags(KPReachabilityFlags flags)
{
    const bool direct = flags.testFlag(KPReachabilityFlag::Reachable) &&
                        flags.testFlag(KPReachabilityFlag::IsDirect);
    return direct ? NetworkStatus::ReachableViaWiFi : NetworkStatus::NotReachable;
}
