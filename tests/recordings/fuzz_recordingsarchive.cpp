// Arbitrary bytes as an archive of recordings: reading must either fail with a reason or give
// recordings that write and read back unchanged. Anything else stops the run.

#include "recordings/KPRecordingsArchive.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const auto recordings = KPRecordingsArchive::decode(bytes, &error);
    if (!recordings) {
        if (error.isEmpty())
            std::abort();
        return 0;
    }
    if (KPRecordingsArchive::decode(KPRecordingsArchive::encode(*recordings)) != recordings)
        std::abort();
    return 0;
}
