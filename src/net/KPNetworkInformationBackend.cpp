#include "net/KPNetworkInformationBackend.h"

// GLib names a field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

// The mapping of Qt's own GLib backend.
QNetworkInformation::Reachability reachabilityFor(GNetworkConnectivity connectivity)
{
    switch (connectivity) {
    case G_NETWORK_CONNECTIVITY_LOCAL:
        return QNetworkInformation::Reachability::Disconnected;
    case G_NETWORK_CONNECTIVITY_LIMITED:
    case G_NETWORK_CONNECTIVITY_PORTAL:
        return QNetworkInformation::Reachability::Site;
    case G_NETWORK_CONNECTIVITY_FULL:
        return QNetworkInformation::Reachability::Online;
    }
    return QNetworkInformation::Reachability::Unknown;
}

} // namespace

KPNetworkInformationBackend* KPNetworkInformationBackend::shared()
{
    static KPNetworkInformationBackend* const backend = []() -> KPNetworkInformationBackend* {
        if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
            return nullptr;
        // Lives as long as the network information it listens to: until the process ends.
        return new KPNetworkInformationBackend(QNetworkInformation::instance());
    }();
    return backend;
}

// Qt's GLib backend waits for GLib to notify a new connectivity, which GLib's netlink monitor
// (2.74) never does: it only emits "network-changed". Where GLib answers we listen for that
// ourselves and read the connectivity from GLib, or nothing would ever change.
KPNetworkInformationBackend::KPNetworkInformationBackend(QNetworkInformation* information)
    : KPReachabilityBackend(information), m_information(information)
{
    connect(information, &QNetworkInformation::transportMediumChanged, this,
            &KPReachabilityBackend::changed);
    if (information->backendName() != QLatin1String("glib")) {
        connect(information, &QNetworkInformation::reachabilityChanged, this,
                &KPReachabilityBackend::changed);
        return;
    }
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    m_glibMonitor = g_object_ref(monitor);
    m_glibReachability = reachabilityFor(g_network_monitor_get_connectivity(monitor));
    m_glibHandler = g_signal_connect_swapped(
        monitor, "network-changed",
        G_CALLBACK(+[](KPNetworkInformationBackend* self) { self->glibNetworkChanged(); }), this);
}

KPNetworkInformationBackend::~KPNetworkInformationBackend()
{
    if (!m_glibMonitor)
        return;
    g_signal_handler_disconnect(m_glibMonitor, m_glibHandler);
    g_object_unref(m_glibMonitor);
}

// GLib reports every change of routes; only a change of reachability is one for us.
void KPNetworkInformationBackend::glibNetworkChanged()
{
    const auto now = reachabilityFor(
        g_network_monitor_get_connectivity(static_cast<GNetworkMonitor*>(m_glibMonitor)));
    if (now == m_glibReachability)
        return;
    m_glibReachability = now;
    emit changed();
}

QNetworkInformation::Reachability KPNetworkInformationBackend::reachability() const
{
    return m_glibMonitor ? m_glibReachability : m_information->reachability();
}

std::optional<KPReachabilityFlags>
KPNetworkInformationBackend::flagsFor(QNetworkInformation::Reachability reachability,
                                      QNetworkInformation::TransportMedium medium,
                                      bool localNetwork)
{
    using Reachability = QNetworkInformation::Reachability;
    if (reachability == Reachability::Unknown)
        return std::nullopt;
    KPReachabilityFlags flags;
    if (localNetwork) {
        if (reachability != Reachability::Disconnected)
            flags |= KPReachabilityFlag::Reachable | KPReachabilityFlag::IsDirect;
        return flags;
    }
    if (reachability == Reachability::Online) {
        flags |= KPReachabilityFlag::Reachable;
        if (medium == QNetworkInformation::TransportMedium::Cellular)
            flags |= KPReachabilityFlag::IsWWAN;
    }
    return flags;
}

std::optional<KPReachabilityFlags> KPNetworkInformationBackend::flags(bool localNetwork) const
{
    return flagsFor(reachability(), m_information->transportMedium(), localNetwork);
}
