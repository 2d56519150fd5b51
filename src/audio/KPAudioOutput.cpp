#include "audio/KPAudioOutput.h"

#include "audio/KPAlsaDevice.h"
#include "audio/KPJackDevice.h"
#include "audio/KPJackServerProbe.h"
#include "audio/KPPipeWireDevice.h"

#include <QDebug>

#include <chrono>

namespace {

constexpr std::chrono::seconds kLookoutInterval(2);

std::unique_ptr<KPHostDevice> openHost(const std::function<void()>& lost)
{
    if (auto jack = KPJackDevice::open(lost))
        return jack;
    if (auto pipeWire = KPPipeWireDevice::open(lost))
        return pipeWire;
    return KPAlsaDevice::open(lost);
}

} // namespace

KPAudioOutput::KPAudioOutput(QObject* parent) : QObject(parent)
{
    m_lookout.setInterval(kLookoutInterval);
    connect(&m_lookout, &QTimer::timeout, this, &KPAudioOutput::check);
}

KPAudioOutput::~KPAudioOutput()
{
    if (m_host)
        m_host->forgetLost();
}

std::unique_ptr<KPAudioDevice> KPAudioOutput::openPreferred(const std::function<void()>& lost)
{
    if (auto host = openHost(lost))
        return host;
    qWarning("KPAudioDevice: No audio device could be opened, playing into a silent output");
    return KPLoopbackDevice::open(KPLoopbackDevice::kDefaultRate,
                                  KPLoopbackDevice::Mixing::RealTime, true);
}

std::shared_ptr<KPAudioDevice> KPAudioOutput::device()
{
    if (!m_device)
        use(openPreferred(checkSoon()));
    return m_device;
}

void KPAudioOutput::start()
{
    m_lookout.start();
}

bool KPAudioOutput::playsToJack() const
{
    return dynamic_cast<KPJackDevice*>(m_host) != nullptr;
}

std::shared_ptr<KPJackDevice> KPAudioOutput::jackDevice() const
{
    auto* jack = dynamic_cast<KPJackDevice*>(m_host);
    return jack ? std::shared_ptr<KPJackDevice>(m_device, jack) : nullptr;
}

void KPAudioOutput::check()
{
    if (!m_device)
        return;
    if (m_host && m_host->isLost()) {
        const QString name = QString::fromLatin1(m_host->outputName());
        qWarning("KPAudioOutput: the %s output stopped playing: the sound moves on",
                 m_host->outputName());
        use(openPreferred(checkSoon()));
        emit deviceChanged();
        emit outputLost(name, m_host == nullptr);
        return;
    }
    if (playsToJack())
        return;
    // JACK is worth moving to from any output; the others only from silence.
    std::unique_ptr<KPHostDevice> better;
    if (!m_host)
        better = openHost(checkSoon());
    else if (KPJackServerProbe::mayRun())
        better = KPJackDevice::open(checkSoon());
    if (!better)
        return;
    qInfo("KPAudioOutput: the %s output is there: the sound goes to it", better->outputName());
    use(std::move(better));
    emit deviceChanged();
}

// For an output's thread: the check runs on this object's thread.
std::function<void()> KPAudioOutput::checkSoon()
{
    return [this] {
        QMetaObject::invokeMethod(this, &KPAudioOutput::check, Qt::QueuedConnection);
    };
}

// The old device goes when its last user lets go of it.
void KPAudioOutput::use(std::unique_ptr<KPAudioDevice> device)
{
    if (m_host)
        m_host->forgetLost();
    m_host = dynamic_cast<KPHostDevice*>(device.get());
    m_device = std::move(device);
}
