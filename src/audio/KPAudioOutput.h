#pragma once

#include "audio/KPAudioDevice.h"

#include <QString>

#include <functional>
#include <memory>

// Where the sound goes. The sampler and the system sounds ask their output for a device each time
// they set their audio up; the program's output is the default device, tests and benchmarks give a
// loopback output that they render themselves.
class KPAudioOutput
{
public:
    virtual ~KPAudioOutput() = default;

    // A device for a mix at sampleRate hertz (a device that can't choose its rate ignores it);
    // null when no output at all can be opened.
    [[nodiscard]] virtual std::unique_ptr<KPAudioDevice> openDevice(int sampleRate) = 0;

    // The output the program uses: the default device, or a silent one when there is none.
    [[nodiscard]] static std::unique_ptr<KPAudioOutput> makeDefault();
    // Makes makeDefault() answer with the factory's outputs instead (tests and benchmarks that
    // listen to the shared players); an empty factory restores the default device.
    using Factory = std::function<std::unique_ptr<KPAudioOutput>()>;
    static void setDefaultFactory(Factory factory);

    // Points OpenAL Soft at the configuration shipped with the program (a short buffer for a
    // quick response to touches) unless the user has a configuration of their own: ALSOFT_CONF,
    // ~/.alsoftrc or alsoft.conf in the user's configuration folder. Must run before the first
    // OpenAL call. Returns whether it did.
    static bool useShippedConfiguration(const QString& path = shippedConfigurationPath());
    static QString shippedConfigurationPath();
};
