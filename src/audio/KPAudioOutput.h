#pragma once

#include "audio/KPAudioDevice.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class KPHostDevice;
class KPJackDevice;

// Where the program's sound goes, chosen again as outputs come and go: our own JACK client while
// a server runs, else a PipeWire stream, else ALSA's default device, else a silent output (no
// sound card). Every one of them is a loopback device that we mix on the output's own clock.
// When an output is lost (its server goes away, or refuses the stream) the sound moves on at
// once and the user is told, once; a JACK server that appears later takes the sound back within
// 2 s, and from the silent output the others are tried again as often. Whoever plays hears of
// every move through deviceChanged and makes its contexts again on device(): the voices of the
// old device stop with it. Main thread only.
class KPAudioOutput : public QObject
{
    Q_OBJECT

public:
    explicit KPAudioOutput(QObject* parent = nullptr);
    ~KPAudioOutput() override;

    // The device in use, opened at the first call.
    [[nodiscard]] std::shared_ptr<KPAudioDevice> device();
    // Looks again every 2 s from now on.
    void start();
    // Moves the sound off an output that was lost, or onto a better one that appeared.
    void check();
    bool playsToJack() const;
    // The device while it is our JACK client, else null.
    std::shared_ptr<KPJackDevice> jackDevice() const;

    // The best device there is now, as above. `lost` is called on the output's thread if the
    // device chosen is a host's and stops playing.
    [[nodiscard]] static std::unique_ptr<KPAudioDevice>
    openPreferred(const std::function<void()>& lost = {});

signals:
    void deviceChanged();
    // The output named ("JACK", "PipeWire", "ALSA") stopped playing; `silent` when the sound now
    // goes nowhere.
    void outputLost(const QString& output, bool silent);

private:
    void use(std::unique_ptr<KPAudioDevice> device);
    std::function<void()> checkSoon();

    std::shared_ptr<KPAudioDevice> m_device;
    // m_device, while a host's output plays it.
    KPHostDevice* m_host = nullptr;
    QTimer m_lookout;
};
