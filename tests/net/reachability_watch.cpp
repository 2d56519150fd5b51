// Prints the internet's reachability status once at start and again at every change the
// system reports, one number per line.
#include "net/KPReachability.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const auto internet = KPReachability::reachabilityForInternetConnection();
    const auto print = [&internet] {
        std::printf("%d\n", static_cast<int>(internet->currentReachabilityStatus()));
        std::fflush(stdout);
    };
    if (!internet->startNotifier()) {
        std::printf("no notifier\n");
        return 1;
    }
    QObject::connect(internet.get(), &KPReachability::reachabilityChanged, print);
    print();
    return application.exec();
}
