#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

// Reads a binary property list ("bplist00") in place, one object at a time, without building a
// tree: a reference shared by many containers is read as often as it is asked for, never
// copied. The constructor checks the header and the trailer; every object is bounds-checked
// when it is read, so any bytes at all give answers or "nothing", never a read outside the data.
// A container's count is bounded by the bytes that hold its references.
class KPBinaryPlistReader
{
public:
    using Ref = uint64_t;

    enum class Type {
        Invalid,
        Null,
        Boolean,
        Integer,
        Real,
        Date,
        Data,
        String,
        Uid,
        Array,
        Set,
        Dict
    };

    // An array's or a dictionary's references, read on demand.
    struct Container
    {
        uint64_t count = 0;
        qsizetype refs = 0;
    };

    explicit KPBinaryPlistReader(QByteArrayView data);

    bool isValid() const { return m_valid; }
    Ref top() const { return m_top; }

    Type type(Ref ref) const;
    // Integers of one to eight bytes (eight bytes read as signed), or sixteen whose upper half
    // is zero and lower half fits.
    std::optional<int64_t> integer(Ref ref) const;
    std::optional<double> real(Ref ref) const;
    // Seconds since 2001-01-01 00:00:00 UTC.
    std::optional<double> date(Ref ref) const;
    std::optional<QString> string(Ref ref) const;
    // Whether the object is a string equal to `ascii`.
    bool stringEquals(Ref ref, std::string_view ascii) const;
    std::optional<uint64_t> uid(Ref ref) const;

    std::optional<Container> array(Ref ref) const;
    Ref element(const Container& array, uint64_t index) const;
    // The value under `key` in a dictionary; nothing when it is absent or `ref` is no dictionary.
    std::optional<Ref> value(Ref dict, std::string_view key) const;

private:
    struct Header
    {
        uint8_t kind = 0;
        uint8_t low = 0;
        uint64_t count = 0;
        qsizetype payload = 0;
    };

    std::optional<Header> header(Ref ref) const;
    std::optional<Container> container(Ref ref, uint8_t kind) const;
    uint64_t readBigEndian(qsizetype at, int width) const;

    QByteArrayView m_data;
    bool m_valid = false;
    int m_offsetSize = 0;
    int m_refSize = 0;
    uint64_t m_objectCount = 0;
    Ref m_top = 0;
    qsizetype m_tableOffset = 0;
};
