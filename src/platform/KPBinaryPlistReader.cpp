#include "platform/KPBinaryPlistReader.h"

#include <bit>
#include <cstring>

namespace {

constexpr qsizetype kHeaderSize = 8;
constexpr qsizetype kTrailerSize = 32;

} // namespace

KPBinaryPlistReader::KPBinaryPlistReader(QByteArrayView data) : m_data(data)
{
    if (data.size() < kHeaderSize + 1 + kTrailerSize ||
        std::memcmp(data.data(), "bplist00", 8) != 0)
        return;
    const qsizetype trailer = data.size() - kTrailerSize;
    m_offsetSize = uint8_t(data[trailer + 6]);
    m_refSize = uint8_t(data[trailer + 7]);
    m_objectCount = readBigEndian(trailer + 8, 8);
    m_top = readBigEndian(trailer + 16, 8);
    const uint64_t tableOffset = readBigEndian(trailer + 24, 8);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
        return;
    if (m_objectCount == 0 || m_top >= m_objectCount || tableOffset < uint64_t(kHeaderSize + 1))
        return;
    // Compared by division first, so that no product overflows.
    if (tableOffset > uint64_t(trailer) ||
        m_objectCount > (uint64_t(trailer) - tableOffset) / uint64_t(m_offsetSize))
        return;
    m_tableOffset = qsizetype(tableOffset);
    m_valid = true;
}

uint64_t KPBinaryPlistReader::readBigEndian(qsizetype at, int width) const
{
    uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | uint8_t(m_data[at + i]);
    return value;
}

std::optional<KPBinaryPlistReader::Header> KPBinaryPlistReader::header(Ref ref) const
{
    if (!m_valid || ref >= m_objectCount)
        return std::nullopt;
    const uint64_t offset =
        readBigEndian(m_tableOffset + qsizetype(ref) * m_offsetSize, m_offsetSize);
    if (offset < uint64_t(kHeaderSize) || offset >= uint64_t(m_tableOffset))
        return std::nullopt;
    qsizetype at = qsizetype(offset);
    const uint8_t marker = uint8_t(m_data[at++]);
    Header result{uint8_t(marker >> 4), uint8_t(marker & 0x0F), 0, 0};
    const bool counted = result.kind == 0x4 || result.kind == 0x5 || result.kind == 0x6 ||
                         result.kind == 0xA || result.kind == 0xC || result.kind == 0xD;
    if (counted)
        result.count = result.low;
    if (counted && result.low == 0x0F) {
        if (at >= m_tableOffset)
            return std::nullopt;
        const uint8_t countMarker = uint8_t(m_data[at++]);
        const int width = 1 << (countMarker & 0x0F);
        if ((countMarker & 0xF0) != 0x10 || width > 8 || m_tableOffset - at < width)
            return std::nullopt;
        result.count = readBigEndian(at, width);
        at += width;
    }
    result.payload = at;
    // Every counted unit takes at least one byte, so a count beyond the object area is false.
    if (result.count > uint64_t(m_tableOffset - at))
        return std::nullopt;
    return result;
}

KPBinaryPlistReader::Type KPBinaryPlistReader::type(Ref ref) const
{
    const auto object = header(ref);
    if (!object)
        return Type::Invalid;
    switch (object->kind) {
    case 0x0:
        return object->low == 0                       ? Type::Null
               : object->low == 8 || object->low == 9 ? Type::Boolean
                                                      : Type::Invalid;
    case 0x1:
        return Type::Integer;
    case 0x2:
        return Type::Real;
    case 0x3:
        return Type::Date;
    case 0x4:
        return Type::Data;
    case 0x5:
    case 0x6:
        return Type::String;
    case 0x8:
        return Type::Uid;
    case 0xA:
        return Type::Array;
    case 0xC:
        return Type::Set;
    case 0xD:
        return Type::Dict;
    default:
        return Type::Invalid;
    }
}

std::optional<int64_t> KPBinaryPlistReader::integer(Ref ref) const
{
    const auto object = header(ref);
    if (!object || object->kind != 0x1 || object->low > 4)
        return std::nullopt;
    const int width = 1 << object->low;
    if (m_tableOffset - object->payload < width)
        return std::nullopt;
    if (width == 16) {
        if (readBigEndian(object->payload, 8) != 0)
            return std::nullopt;
        const uint64_t low = readBigEndian(object->payload + 8, 8);
        if (low > uint64_t(INT64_MAX))
            return std::nullopt;
        return int64_t(low);
    }
    return int64_t(readBigEndian(object->payload, width));
}

std::optional<double> KPBinaryPlistReader::real(Ref ref) const
{
    const auto object = header(ref);
    if (!object || object->kind != 0x2 || (object->low != 2 && object->low != 3))
        return std::nullopt;
    const int width = 1 << object->low;
    if (m_tableOffset - object->payload < width)
        return std::nullopt;
    const uint64_t bits = readBigEndian(object->payload, width);
    return width == 4 ? double(std::bit_cast<float>(uint32_t(bits))) : std::bit_cast<double>(bits);
}

std::optional<double> KPBinaryPlistReader::date(Ref ref) const
{
    const auto object = header(ref);
    if (!object || object->kind != 0x3 || object->low != 3 || m_tableOffset - object->payload < 8)
        return std::nullopt;
    return std::bit_cast<double>(readBigEndian(object->payload, 8));
}

std::optional<QString> KPBinaryPlistReader::string(Ref ref) const
{
    const auto object = header(ref);
    if (!object)
        return std::nullopt;
    const char* bytes = m_data.data() + object->payload;
    const qsizetype length = qsizetype(object->count);
    if (object->kind == 0x5)
        return QString::fromLatin1(bytes, length);
    if (object->kind != 0x6 || m_tableOffset - object->payload < length * 2)
        return std::nullopt;
    QString text(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        text[i] = QChar(char16_t(readBigEndian(object->payload + 2 * i, 2)));
    return text;
}

bool KPBinaryPlistReader::stringEquals(Ref ref, std::string_view ascii) const
{
    const auto object = header(ref);
    if (!object || object->count != ascii.size())
        return false;
    if (object->kind == 0x5)
        return std::memcmp(m_data.data() + object->payload, ascii.data(), ascii.size()) == 0;
    if (object->kind != 0x6 || uint64_t(m_tableOffset - object->payload) < ascii.size() * 2)
        return false;
    for (size_t i = 0; i < ascii.size(); ++i) {
        if (readBigEndian(object->payload + qsizetype(2 * i), 2) != uint8_t(ascii[i]))
            return false;
    }
    return true;
}

std::optional<uint64_t> KPBinaryPlistReader::uid(Ref ref) const
{
    const auto object = header(ref);
    if (!object || object->kind != 0x8 || object->low > 7)
        return std::nullopt;
    const int width = object->low + 1;
    if (m_tableOffset - object->payload < width)
        return std::nullopt;
    return readBigEndian(object->payload, width);
}

std::optional<KPBinaryPlistReader::Container> KPBinaryPlistReader::container(Ref ref,
                                                                             uint8_t kind) const
{
    const auto object = header(ref);
    if (!object || object->kind != kind)
        return std::nullopt;
    const uint64_t references = kind == 0xD ? object->count * 2 : object->count;
    if (references > uint64_t(m_tableOffset - object->payload) / uint64_t(m_refSize))
        return std::nullopt;
    return Container{object->count, object->payload};
}

std::optional<KPBinaryPlistReader::Container> KPBinaryPlistReader::array(Ref ref) const
{
    return container(ref, 0xA);
}

KPBinaryPlistReader::Ref KPBinaryPlistReader::element(const Container& array, uint64_t index) const
{
    return readBigEndian(array.refs + qsizetype(index) * m_refSize, m_refSize);
}

std::optional<KPBinaryPlistReader::Ref> KPBinaryPlistReader::value(Ref dict,
                                                                   std::string_view key) const
{
    const auto entries = container(dict, 0xD);
    if (!entries)
        return std::nullopt;
    for (uint64_t i = 0; i < entries->count; ++i) {
        if (stringEquals(element(*entries, i), key))
            return element(*entries, entries->count + i);
    }
    return std::nullopt;
}
