#include "platform/KPBinaryPlistWriter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

namespace {

constexpr uint8_t kArrayMarker = 0xA0;
constexpr uint8_t kDictMarker = 0xD0;
constexpr uint32_t kNoRef = UINT32_MAX;
// UIDs are indexes of an archive's objects: dense and small. Larger ones are simply not shared.
constexpr uint64_t kSharedUidLimit = uint64_t(1) << 26;

// The fewest of 1, 2, 4 or 8 bytes that hold `value`.
int byteWidth(uint64_t value)
{
    if (value <= 0xFF)
        return 1;
    if (value <= 0xFFFF)
        return 2;
    if (value <= 0xFFFFFFFF)
        return 4;
    return 8;
}

char* putBigEndian(char* out, uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i)
        *out++ = char(value >> (8 * i));
    return out;
}

// A count below 15 sits in the marker's low nibble; a larger one follows as an integer object.
int countHeaderSize(uint64_t count)
{
    return count < 15 ? 1 : 2 + byteWidth(count);
}

char* putMarker(char* out, uint8_t marker, uint64_t count)
{
    if (count < 15) {
        *out++ = char(marker | count);
        return out;
    }
    *out++ = char(marker | 0x0F);
    const int width = byteWidth(count);
    *out++ = char(0x10 | std::countr_zero(unsigned(width)));
    return putBigEndian(out, count, width);
}

QByteArray markedScalar(uint8_t marker, uint64_t count, QByteArrayView payload)
{
    QByteArray bytes(countHeaderSize(count) + payload.size(), Qt::Uninitialized);
    char* out = putMarker(bytes.data(), marker, count);
    if (!payload.isEmpty())
        std::memcpy(out, payload.data(), size_t(payload.size()));
    return bytes;
}

} // namespace

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::addScalar(QByteArrayView bytes)
{
    m_objects.push_back({uint64_t(m_scalars.size()), uint32_t(bytes.size()), 0});
    m_scalars.append(bytes);
    return Ref(m_objects.size() - 1);
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::addContainer(uint8_t marker, uint32_t count)
{
    m_objects.push_back({uint64_t(m_refs.size()), count, marker});
    return Ref(m_objects.size() - 1);
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::string(const QString& text)
{
    const auto found = m_strings.constFind(text);
    if (found != m_strings.constEnd())
        return *found;
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    Ref ref;
    if (ascii) {
        ref = addScalar(markedScalar(0x50, uint64_t(text.size()), text.toLatin1()));
    } else {
        QByteArray units(text.size() * 2, Qt::Uninitialized);
        char* out = units.data();
        for (QChar c : text)
            out = putBigEndian(out, c.unicode(), 2);
        ref = addScalar(markedScalar(0x60, uint64_t(text.size()), units));
    }
    m_strings.insert(text, ref);
    return ref;
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::integer(int64_t value)
{
    // Negative numbers take eight bytes, the only width read as signed.
    const int width = value < 0 ? 8 : byteWidth(uint64_t(value));
    char bytes[9];
    bytes[0] = char(0x10 | std::countr_zero(unsigned(width)));
    putBigEndian(bytes + 1, uint64_t(value), width);
    return addScalar(QByteArrayView(bytes, 1 + width));
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::addDouble(uint8_t marker, double value)
{
    char bytes[9];
    bytes[0] = char(marker);
    putBigEndian(bytes + 1, std::bit_cast<uint64_t>(value), 8);
    return addScalar(QByteArrayView(bytes, 9));
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::real(double value)
{
    return addDouble(0x23, value);
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::real32(float value)
{
    char bytes[5];
    bytes[0] = char(0x22);
    putBigEndian(bytes + 1, std::bit_cast<uint32_t>(value), 4);
    return addScalar(QByteArrayView(bytes, 5));
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::date(double seconds)
{
    return addDouble(0x33, seconds);
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::boolean(bool value)
{
    const char marker = char(value ? 0x09 : 0x08);
    return addScalar(QByteArrayView(&marker, 1));
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::data(QByteArrayView bytes)
{
    return addScalar(markedScalar(0x40, uint64_t(bytes.size()), bytes));
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::uid(uint64_t value)
{
    const bool shared = value < kSharedUidLimit;
    if (shared && value < m_uids.size() && m_uids[value] != kNoRef)
        return m_uids[value];
    const int width = byteWidth(value);
    char bytes[9];
    bytes[0] = char(0x80 | (width - 1));
    putBigEndian(bytes + 1, value, width);
    const Ref ref = addScalar(QByteArrayView(bytes, 1 + width));
    if (shared) {
        if (value >= m_uids.size())
            m_uids.resize(std::max<size_t>(value + 1, m_uids.size() * 2), kNoRef);
        m_uids[value] = ref;
    }
    return ref;
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::array(std::span<const Ref> items)
{
    const Ref ref = addContainer(kArrayMarker, uint32_t(items.size()));
    m_refs.insert(m_refs.end(), items.begin(), items.end());
    return ref;
}

KPBinaryPlistWriter::Ref KPBinaryPlistWriter::dict(std::span<const std::pair<Ref, Ref>> entries)
{
    const Ref ref = addContainer(kDictMarker, uint32_t(entries.size()));
    for (const auto& entry : entries)
        m_refs.push_back(entry.first);
    for (const auto& entry : entries)
        m_refs.push_back(entry.second);
    return ref;
}

QByteArray KPBinaryPlistWriter::finish(Ref top) const
{
    const uint64_t count = m_objects.size();
    const int refSize = byteWidth(count == 0 ? 0 : count - 1);
    const auto references = [](const Object& object) {
        return object.containerMarker == kDictMarker ? uint64_t(object.length) * 2
                                                     : uint64_t(object.length);
    };

    uint64_t tableOffset = 8;
    for (const Object& object : m_objects) {
        tableOffset += object.containerMarker
                           ? countHeaderSize(object.length) + references(object) * refSize
                           : object.length;
    }
    const int offsetSize = byteWidth(tableOffset);

    QByteArray file(qsizetype(tableOffset + count * offsetSize + 32), Qt::Uninitialized);
    char* out = file.data();
    constexpr std::string_view kMagic = "bplist00";
    out = std::copy(kMagic.begin(), kMagic.end(), out);
    std::vector<uint64_t> offsets;
    offsets.reserve(count);
    for (const Object& object : m_objects) {
        offsets.push_back(uint64_t(out - file.data()));
        if (!object.containerMarker) {
            std::memcpy(out, m_scalars.constData() + object.start, object.length);
            out += object.length;
            continue;
        }
        out = putMarker(out, object.containerMarker, object.length);
        const Ref* ref = m_refs.data() + object.start;
        for (uint64_t i = 0; i < references(object); ++i)
            out = putBigEndian(out, ref[i], refSize);
    }
    for (uint64_t offset : offsets)
        out = putBigEndian(out, offset, offsetSize);
    std::memset(out, 0, 6);
    out += 6;
    *out++ = char(offsetSize);
    *out++ = char(refSize);
    out = putBigEndian(out, count, 8);
    out = putBigEndian(out, top, 8);
    putBigEndian(out, tableOffset, 8);
    return file;
}
