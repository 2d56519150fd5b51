#pragma once

#include "net/KPReachabilityBackend.h"

// Reachability the test decides: flags in, change reports out.
class KPFakeReachabilityBackend : public KPReachabilityBackend
{
public:
    std::optional<KPReachabilityFlags> internet;
    std::optional<KPReachabilityFlags> local;

    std::optional<KPReachabilityFlags> flags(bool localNetwork) const override
    {
        return localNetwork ? local : internet;
    }
    void report(std::optional<KPReachabilityFlags> flags)
    {
        internet = flags;
        emit changed();
    }
};
