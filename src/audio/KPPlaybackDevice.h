#pragma once

#include "audio/KPAudioDevice.h"

#include <QString>

#include <memory>

// The system's default output, mixed by OpenAL's own thread at a rate of its choosing.
class KPPlaybackDevice : public KPAudioDevice
{
public:
    // Null when the system has no output (no sound card).
    [[nodiscard]] static std::unique_ptr<KPPlaybackDevice> open();
    // Takes over an opened device (never null).
    explicit KPPlaybackDevice(ALCdevice* device) : KPAudioDevice(device) {}

    [[nodiscard]] KPALContextPtr createContext(std::optional<int> sampleRate) override;
    // Whether OpenAL Soft plays this device through its JACK backend.
    bool playsToJack() const;

    // Points OpenAL Soft at the configuration shipped with the program (a short buffer for a
    // quick response to touches) unless the user has a configuration of their own: ALSOFT_CONF,
    // ~/.alsoftrc or alsoft.conf in the user's configuration folder. Must run before the first
    // OpenAL call. Returns whether it did.
    static bool useShippedConfiguration(const QString& path = shippedConfigurationPath());
    static QString shippedConfigurationPath();

private:
    void pauseMix() override;
    void resumeMix() override;
};
