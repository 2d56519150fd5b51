#pragma once

#include "net/KPReachabilityBackend.h"

#include <QNetworkInformation>

// Reachability answered by QNetworkInformation, loaded for its reachability feature (GLib's
// network monitor answers where NetworkManager is absent). Online means reachable; a cellular
// medium adds wide-area; any local network at all makes the link-local network reachable and
// direct. An unknown reachability cannot be read. changed() is emitted when the reachability
// or the medium changes.
class KPNetworkInformationBackend : public KPReachabilityBackend
{
    Q_OBJECT

public:
    // The process's backend, or null when no network-information backend loads.
    static KPNetworkInformationBackend* shared();

    static std::optional<KPReachabilityFlags>
    flagsFor(QNetworkInformation::Reachability reachability,
             QNetworkInformation::TransportMedium medium, bool localNetwork);

    ~KPNetworkInformationBackend() override;

    std::optional<KPReachabilityFlags> flags(bool localNetwork) const override;

private:
    explicit KPNetworkInformationBackend(QNetworkInformation* information);

    QNetworkInformation::Reachability reachability() const;
    void glibNetworkChanged();

    QNetworkInformation* m_information;
    // Set when GLib answers: see glibNetworkChanged().
    void* m_glibMonitor = nullptr;
    unsigned long m_glibHandler = 0;
    QNetworkInformation::Reachability m_glibReachability =
        QNetworkInformation::Reachability::Unknown;
};
