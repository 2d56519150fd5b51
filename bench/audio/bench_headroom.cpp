// Levels of the mix. Headroom with every voice busy: for each instrument, 32 notes at full
// velocity, struck together and as a fast run (one every 10 ms), mixed raw (what an output
// converting to integers would clip) and through the output's headroom stage (a master gain and
// a soft knee, with no look-ahead, where OpenAL Soft's limiter delayed every note by 1 ms): the
// loudest sample and the share of samples beyond full scale, and the peak of an ordinary chord.
// Then where C1, C4 and B7 of the grand piano sit in the stereo field: each channel's level.

#include "audio/KPLoopbackDevice.h"
#include "audio/KPSampler.h"
#include "platform/KPBundle.h"

#include <QCoreApplication>

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
    // The first frame that is not silent.
    long onset = -1;
};

double decibels(double value)
{
    return 20.0 * std::log10(std::max(value, 1e-12));
}

Peak strike(KPLoopbackDevice& device, KPSampler& sampler, const std::vector<int>& notes,
            int spacingFrames)
{
    constexpr double kSeconds = 2.0;
    Peak peak;
    std::vector<float> chunk;
    const auto take = [&](int frames) {
        chunk.resize(size_t(frames) * KPLoopbackDevice::kChannels);
        device.render(chunk.data(), frames);
        for (size_t i = 0; i < chunk.size(); ++i) {
            const float size = std::abs(chunk[i]);
            peak.loudest = std::max(peak.loudest, size);
            peak.clipped += size > 1.0f;
            if (peak.onset < 0 && size > 0.0f)
                peak.onset = long(peak.samples + i) / KPLoopbackDevice::kChannels;
        }
        peak.samples += chunk.size();
    };
    for (const int note : notes) {
        sampler.noteOn(note, 1.0f);
        if (spacingFrames > 0)
            take(spacingFrames);
    }
    take(int(kSeconds * device.sampleRate()));
    sampler.allNotesOff();
    return peak;
}

void headroom(bool limited)
{
    std::shared_ptr<KPLoopbackDevice> device =
        KPLoopbackDevice::open(48000, KPLoopbackDevice::Mixing::OnRender, limited);
    KPSampler sampler([device] { return device; });
    std::vector<int> voices;
    for (int voice = 0; voice < KPSampler::kSourceCount; ++voice)
        voices.push_back(36 + 2 * voice);
    const std::vector<int> chord{60, 64, 67, 72};
    std::printf("%s:\n", limited ? "through the headroom stage" : "raw mix");
    for (const char* name :
         {"Grand Piano", "Music Box", "Ahh Choir", "Electric Piano", "Accordion", "Banjo"}) {
        if (!sampler.setSoundBank(QString::fromLatin1(name)))
            continue;
        for (const int spacing : {0, device->sampleRate() / 100}) {
            const Peak peak = strike(*device, sampler, voices, spacing);
            std::printf("  %-15s 32 voices %-8s: peak %+6.1f dBFS, %6.2f %% of samples beyond "
                        "full scale\n",
                        name, spacing ? "a run" : "at once", decibels(peak.loudest),
                        100.0 * double(peak.clipped) / double(peak.samples));
        }
        const Peak peak = strike(*device, sampler, chord, 0);
        std::printf("  %-15s C major chord   : peak %+6.1f dBFS, first sound at frame %ld\n", name,
                    decibels(peak.loudest), peak.onset);
    }
}

void stereoLevels()
{
    std::shared_ptr<KPLoopbackDevice> device = KPLoopbackDevice::open(44100);
    KPSampler sampler([device] { return device; });
    if (!sampler.setSoundBank(QStringLiteral("Grand Piano")))
        return;
    std::printf("Grand Piano, level of each channel over the first second:\n");
    for (const auto& [note, name] : {std::pair{24, "C1"}, {60, "C4"}, {107, "B7"}}) {
        sampler.noteOn(note, 1.0f);
        const std::vector<float> sound = device->render(device->sampleRate());
        sampler.allNotesOff();
        double sums[KPLoopbackDevice::kChannels] = {};
        for (size_t i = 0; i < sound.size(); ++i)
            sums[i % KPLoopbackDevice::kChannels] += double(sound[i]) * sound[i];
        const double frames = double(sound.size()) / KPLoopbackDevice::kChannels;
        std::printf("  %s: L %+6.1f / R %+6.1f dBFS\n", name, decibels(std::sqrt(sums[0] / frames)),
                    decibels(std::sqrt(sums[1] / frames)));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    KPBundle::setResourceRoot(QStringLiteral(KP_SHIPPED_RESOURCES));
    if (!KPLoopbackDevice::open(48000)) {
        std::printf("headroom: skipped, no loopback device\n");
        return 0;
    }
    headroom(false);
    headroom(true);
    stereoLevels();
    return 0;
}
