// Headroom of the mix with every voice busy, to weigh OpenAL Soft's output limiter (1 ms of
// look-ahead on every note) against clipping. For each instrument, 32 notes at full velocity,
// struck together and as a fast run (one every 10 ms), are mixed with the limiter off: the
// loudest sample, and the share of samples beyond full scale that an output converting to
// integers would clip.

#include "audio/KPLoopbackDevice.h"
#include "audio/KPSampler.h"
#include "platform/KPBundle.h"

#include <QCoreApplication>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Peak
{
    float loudest = 0.0f;
    size_t clipped = 0;
    size_t samples = 0;
};

// Notes 36 to 98, every other one: the middle of the keyboard, where playing is densest.
Peak strike(KPLoopbackDevice& device, KPSampler& sampler, int spacingFrames)
{
    constexpr double kSeconds = 2.0;
    Peak peak;
    std::vector<float> chunk;
    const auto take = [&](int frames) {
        chunk.resize(size_t(frames) * KPLoopbackDevice::kChannels);
        device.render(chunk.data(), frames);
        for (const float sample : chunk) {
            peak.loudest = std::max(peak.loudest, std::abs(sample));
            peak.clipped += std::abs(sample) > 1.0f;
        }
        peak.samples += chunk.size();
    };
    for (int voice = 0; voice < KPSampler::kSourceCount; ++voice) {
        sampler.noteOn(36 + 2 * voice, 1.0f);
        if (spacingFrames > 0)
            take(spacingFrames);
    }
    take(int(kSeconds * device.sampleRate()));
    sampler.allNotesOff();
    return peak;
}

} // namespace

int main(int argc, char* argv[])
{
    // Read by OpenAL Soft at its first call.
    QTemporaryFile configuration;
    if (!configuration.open() || configuration.write("[general]\noutput-limiter = false\n") < 0 ||
        !configuration.flush())
        return 1;
    qputenv("ALSOFT_CONF", configuration.fileName().toLocal8Bit());
    QCoreApplication application(argc, argv);
    KPBundle::setResourceRoot(QStringLiteral(KP_SHIPPED_RESOURCES));
    std::shared_ptr<KPLoopbackDevice> device = KPLoopbackDevice::open(48000);
    if (!device) {
        std::printf("headroom: skipped, no loopback device\n");
        return 0;
    }
    KPSampler sampler([device] { return device; });
    for (const char* name :
         {"Grand Piano", "Music Box", "Ahh Choir", "Electric Piano", "Accordion", "Banjo"}) {
        if (!sampler.setSoundBank(QString::fromLatin1(name)))
            continue;
        for (const int spacing : {0, device->sampleRate() / 100}) {
            const Peak peak = strike(*device, sampler, spacing);
            std::printf("%-15s 32 voices %-8s: peak %+6.1f dBFS, %6.2f %% of samples beyond "
                        "full scale\n",
                        name, spacing ? "a run" : "at once", 20.0 * std::log10(peak.loudest),
                        100.0 * double(peak.clipped) / double(peak.samples));
        }
    }
    return 0;
}
