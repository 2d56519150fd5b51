#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// SIGTERM and SIGINT end the application the orderly way: the signal is turned into a quit of
// the main event loop, so "will terminate" runs on the main thread.
class KPTerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit KPTerminationSignals(QObject* parent = nullptr);
    ~KPTerminationSignals() override;

signals:
    void terminationRequested(int signal);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
