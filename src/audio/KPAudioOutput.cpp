#include "audio/KPAudioOutput.h"

#include "audio/KPJackDevice.h"
#include "audio/KPJackServerProbe.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPPlaybackDevice.h"

#include <QDebug>

#include <chrono>

namespace {

constexpr std::chrono::seconds kLookoutInterval(2);

std::unique_ptr<KPAudioDevice> openWithoutJack()
{
    if (auto device = KPPlaybackDevice::open())
        return device;
    qWarning("KPAudioDevice: No audio device could be opened, playing into a silent output");
    return KPLoopbackDevice::open(KPLoopbackDevice::kDefaultRate,
                                  KPLoopbackDevice::Mixing::RealTime);
}

} // namespace

KPAudioOutput::KPAudioOutput(QObject* parent) : QObject(parent)
{
    m_lookout.setInterval(kLookoutInterval);
    connect(&m_lookout, &QTimer::timeout, this, &KPAudioOutput::check);
}

KPAudioOutput::~KPAudioOutput()
{
    if (m_jack)
        m_jack->forgetServerGone();
}

// JACK is asked first, so that OpenAL Soft's own JACK backend (which mixes a period ahead) is
// used only where a configuration of the user's chooses it.
std::unique_ptr<KPAudioDevice> KPAudioOutput::openPreferred(const std::function<void()>& serverGone)
{
    if (auto jack = KPJackDevice::open(serverGone))
        return jack;
    auto device = openWithoutJack();
    if (auto* playback = dynamic_cast<KPPlaybackDevice*>(device.get());
        playback && playback->playsToJack()) {
        if (auto jack = KPJackDevice::open(serverGone))
            return jack;
    }
    return device;
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

void KPAudioOutput::check()
{
    if (!m_device)
        return;
    if (m_jack && m_jack->isServerGone()) {
        qWarning("KPAudioOutput: the JACK server went away: the sound moves on");
        use(openWithoutJack());
        emit deviceChanged();
        emit jackLost(dynamic_cast<KPPlaybackDevice*>(m_device.get()) == nullptr);
        return;
    }
    if (m_jack || !KPJackServerProbe::mayRun())
        return;
    auto jack = KPJackDevice::open(checkSoon());
    if (!jack)
        return;
    qInfo("KPAudioOutput: a JACK server is there: the sound goes to it");
    use(std::move(jack));
    emit deviceChanged();
}

// For a JACK thread: the check runs on this object's thread.
std::function<void()> KPAudioOutput::checkSoon()
{
    return [this] {
        QMetaObject::invokeMethod(this, &KPAudioOutput::check, Qt::QueuedConnection);
    };
}

// The old device goes when its last user lets go of it.
void KPAudioOutput::use(std::unique_ptr<KPAudioDevice> device)
{
    if (m_jack)
        m_jack->forgetServerGone();
    m_jack = dynamic_cast<KPJackDevice*>(device.get());
    m_device = std::move(device);
}
