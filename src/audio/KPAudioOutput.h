#pragma once

#include "audio/KPAudioDevice.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class KPJackDevice;

// Where the program's sound goes, chosen again as JACK comes and goes: our own JACK client while
// a server runs, else the system's default output, else a silent one (no sound card). When the
// server goes away the sound moves on at once and the user is told, once; a server that appears
// later (also one started after the program) takes the sound back within 2 s. Whoever plays
// hears of every move through deviceChanged and makes its contexts again on device(): the
// voices of the old device stop with it. Main thread only.
class KPAudioOutput : public QObject
{
    Q_OBJECT

public:
    explicit KPAudioOutput(QObject* parent = nullptr);
    ~KPAudioOutput() override;

    // The device in use, opened at the first call.
    [[nodiscard]] std::shared_ptr<KPAudioDevice> device();
    // Looks for a server every 2 s from now on.
    void start();
    // Moves the sound off a server that went away, or onto one that appeared.
    void check();
    bool playsToJack() const { return m_jack != nullptr; }
    // The device while it is our JACK client, else null.
    std::shared_ptr<KPJackDevice> jackDevice() const
    {
        return m_jack ? std::shared_ptr<KPJackDevice>(m_device, m_jack) : nullptr;
    }

    // The best device there is now: JACK first, as above. `serverGone` is called on a JACK
    // thread if the sound went to JACK and its server goes away.
    [[nodiscard]] static std::unique_ptr<KPAudioDevice>
    openPreferred(const std::function<void()>& serverGone = {});

signals:
    void deviceChanged();
    // The JACK server went away; `silent` when the sound now goes nowhere (no sound card).
    void jackLost(bool silent);

private:
    void use(std::unique_ptr<KPAudioDevice> device);
    std::function<void()> checkSoon();

    std::shared_ptr<KPAudioDevice> m_device;
    // m_device, while it is our JACK client.
    KPJackDevice* m_jack = nullptr;
    QTimer m_lookout;
};
