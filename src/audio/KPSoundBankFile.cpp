#include "audio/KPSoundBankFile.h"

#include "platform/KPPropertyList.h"

#include <algorithm>
#include <limits>

namespace {

int32_t clampedRate(qint64 rate)
{
    return int32_t(std::clamp<qint64>(rate, std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max()));
}

std::optional<qint64> integerFor(plist_t dictionary, const char* key)
{
    return KPPropertyList::integerValue(plist_dict_get_item(dictionary, key));
}

std::optional<KPSoundBankFile> readArray(plist_t array)
{
    const uint32_t count = plist_array_get_size(array);
    if (count == 0)
        return std::nullopt;
    const std::optional<qint64> rate = KPPropertyList::integerValue(plist_array_get_item(array, 0));
    if (!rate)
        return std::nullopt;

    KPSoundBankFile bank;
    bank.sampleRate = clampedRate(*rate);
    KPSoundBankFile::Layer& layer = bank.layers.emplace_back();
    const uint32_t sampleCount =
        std::min<uint32_t>((count - 1) / 3, KPSoundBankFile::kMaximumSamples);
    layer.samples.reserve(sampleCount);
    for (uint32_t j = 0; j < sampleCount; ++j) {
        const std::optional<QString> filename =
            KPPropertyList::stringValue(plist_array_get_item(array, 3 * j + 1));
        const std::optional<qint64> high =
            KPPropertyList::integerValue(plist_array_get_item(array, 3 * j + 2));
        const std::optional<qint64> root =
            KPPropertyList::integerValue(plist_array_get_item(array, 3 * j + 3));
        if (!filename || !high || !root || *root < 0 || *root > 127)
            return std::nullopt;
        layer.samples.push_back({*filename, *high, int(*root), 0, 0});
    }
    return bank;
}

std::optional<KPSoundBankFile::Sample> readSample(plist_t dictionary)
{
    if (plist_get_node_type(dictionary) != PLIST_DICT)
        return std::nullopt;
    const std::optional<QString> filename =
        KPPropertyList::stringValue(plist_dict_get_item(dictionary, "File"));
    const std::optional<qint64> high = integerFor(dictionary, "HighestNote");
    const std::optional<qint64> root = integerFor(dictionary, "RootNote");
    const std::optional<qint64> loopStart = integerFor(dictionary, "LoopStart");
    const std::optional<qint64> loopEnd = integerFor(dictionary, "LoopEnd");
    if (!filename || !high || !root || *root < 0 || *root > 127 ||
        loopStart.has_value() != loopEnd.has_value())
        return std::nullopt;
    if (loopStart && (*loopStart < 0 || *loopStart >= *loopEnd))
        return std::nullopt;
    return KPSoundBankFile::Sample{*filename, *high, int(*root), loopStart.value_or(0),
                                   loopEnd.value_or(0)};
}

std::optional<KPSoundBankFile> readDictionary(plist_t root)
{
    const std::optional<qint64> rate = integerFor(root, "SampleRate");
    const plist_t layers = plist_dict_get_item(root, "Layers");
    if (!rate || !layers || plist_get_node_type(layers) != PLIST_ARRAY ||
        plist_array_get_size(layers) == 0)
        return std::nullopt;

    KPSoundBankFile bank;
    bank.sampleRate = clampedRate(*rate);
    int total = 0;
    for (uint32_t i = 0; i < plist_array_get_size(layers); ++i) {
        const plist_t entry = plist_array_get_item(layers, i);
        if (plist_get_node_type(entry) != PLIST_DICT)
            return std::nullopt;
        const std::optional<qint64> velocity = integerFor(entry, "HighestVelocity");
        const plist_t samples = plist_dict_get_item(entry, "Samples");
        if (!velocity || !samples || plist_get_node_type(samples) != PLIST_ARRAY)
            return std::nullopt;
        KPSoundBankFile::Layer& layer = bank.layers.emplace_back();
        layer.highestVelocity = int(std::clamp<qint64>(*velocity, 1, 127));
        for (uint32_t j = 0;
             j < plist_array_get_size(samples) && total < KPSoundBankFile::kMaximumSamples;
             ++j, ++total) {
            const std::optional<KPSoundBankFile::Sample> sample =
                readSample(plist_array_get_item(samples, j));
            if (!sample)
                return std::nullopt;
            layer.samples.push_back(*sample);
        }
    }
    return bank;
}

} // namespace

std::optional<KPSoundBankFile> KPSoundBankFile::read(const QString& path)
{
    const KPPlistPtr root = KPPropertyList::readFile(path);
    if (!root)
        return std::nullopt;
    switch (plist_get_node_type(root.get())) {
    case PLIST_ARRAY:
        return readArray(root.get());
    case PLIST_DICT:
        return readDictionary(root.get());
    default:
        return std::nullopt;
    }
}
