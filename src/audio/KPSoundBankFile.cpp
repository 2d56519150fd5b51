#include "audio/KPSoundBankFile.h"

#include "platform/KPPropertyList.h"

#include <algorithm>
#include <limits>

std::optional<KPSoundBankFile> KPSoundBankFile::read(const QString& path)
{
    const KPPlistPtr root = KPPropertyList::readFile(path);
    const plist_t array = root.get();
    if (!array || plist_get_node_type(array) != PLIST_ARRAY)
        return std::nullopt;
    const uint32_t count = plist_array_get_size(array);
    if (count == 0)
        return std::nullopt;

    const std::optional<qint64> rate = KPPropertyList::integerValue(plist_array_get_item(array, 0));
    if (!rate)
        return std::nullopt;

    KPSoundBankFile bank;
    bank.sampleRate = int32_t(std::clamp<qint64>(*rate, std::numeric_limits<int32_t>::min(),
                                                 std::numeric_limits<int32_t>::max()));
    const uint32_t sampleCount = std::min<uint32_t>((count - 1) / 3, kMaximumSamples);
    bank.samples.reserve(sampleCount);
    for (uint32_t j = 0; j < sampleCount; ++j) {
        const std::optional<QString> filename =
            KPPropertyList::stringValue(plist_array_get_item(array, 3 * j + 1));
        const std::optional<qint64> high =
            KPPropertyList::integerValue(plist_array_get_item(array, 3 * j + 2));
        const std::optional<qint64> root =
            KPPropertyList::integerValue(plist_array_get_item(array, 3 * j + 3));
        if (!filename || !high || !root || *root < 0 || *root > 127)
            return std::nullopt;
        bank.samples.push_back({*filename, *high, int(*root)});
    }
    return bank;
}
