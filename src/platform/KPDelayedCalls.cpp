#include "platform/KPDelayedCalls.h"

#include <QTimer>

namespace {
constexpr auto kTimerName = "KPDelayedCall";
}

void KPDelayedCalls::perform(QObject* target, std::chrono::milliseconds delay,
                             std::function<void()> call)
{
    auto* timer = new QTimer(target);
    timer->setObjectName(kTimerName);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, target, [timer, call = std::move(call)] {
        // Detach first so the call may cancel or schedule calls on its own target.
        timer->setObjectName(QString());
        timer->deleteLater();
        call();
    });
    timer->start(delay);
}

void KPDelayedCalls::cancelPreviousPerformRequests(QObject* target)
{
    const auto timers = target->findChildren<QTimer*>(kTimerName, Qt::FindDirectChildrenOnly);
    for (QTimer* timer : timers) {
        timer->stop();
        timer->setObjectName(QString());
        timer->deleteLater();
    }
}

int KPDelayedCalls::pendingCount(const QObject* target)
{
    return int(target->findChildren<QTimer*>(kTimerName, Qt::FindDirectChildrenOnly).size());
}
