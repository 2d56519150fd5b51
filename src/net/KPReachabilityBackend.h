#pragma once

#include <QFlags>
#include <QObject>

#include <optional>

// Flags of a reachability target, with the bit values of the reachability service.
enum class KPReachabilityFlag : quint32 {
    TransientConnection = 1,
    Reachable = 2,
    ConnectionRequired = 4,
    ConnectionOnTraffic = 8,
    InterventionRequired = 16,
    ConnectionOnDemand = 32,
    IsLocalAddress = 0x10000,
    IsDirect = 0x20000,
    IsWWAN = 0x40000,
};
Q_DECLARE_FLAGS(KPReachabilityFlags, KPReachabilityFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(KPReachabilityFlags)

// Where reachability answers come from: the system's network information, or a test's own.
// flags() answers for the internet in general, or for the link-local network; no value means
// the flags cannot be read. changed() is emitted once per change the source reports, on the
// thread the backend lives in.
class KPReachabilityBackend : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual std::optional<KPReachabilityFlags> flags(bool localNetwork) const = 0;

signals:
    void changed();
};
