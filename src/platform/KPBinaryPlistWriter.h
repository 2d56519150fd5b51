#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

// Builds a binary property list ("bplist00") one object at a time. Each call adds an object and
// returns its reference; a container refers to objects added before it or later, as long as
// they exist when finish() lays out the file. Strings and UIDs are stored once however often
// they are added, as the platform's writer does.
class KPBinaryPlistWriter
{
public:
    using Ref = uint32_t;

    Ref string(const QString& text);
    Ref integer(int64_t value);
    Ref real(double value);
    // Stored in four bytes, as the platform stores a 32-bit float.
    Ref real32(float value);
    Ref uid(uint64_t value);
    // Seconds since 2001-01-01 00:00:00 UTC.
    Ref date(double seconds);
    Ref boolean(bool value);
    Ref data(QByteArrayView bytes);
    Ref array(std::span<const Ref> items);
    Ref dict(std::span<const std::pair<Ref, Ref>> entries);

    [[nodiscard]] QByteArray finish(Ref top) const;

private:
    // A scalar keeps its encoded bytes in m_scalars; a container its references in m_refs
    // (a dictionary's keys, then its values), laid out once the reference size is known.
    struct Object
    {
        uint64_t start;
        uint32_t length;
        uint8_t containerMarker;
    };

    Ref addScalar(QByteArrayView bytes);
    // An eight-byte real or date.
    Ref addDouble(uint8_t marker, double value);
    Ref addContainer(uint8_t marker, uint32_t count);

    std::vector<Object> m_objects;
    QByteArray m_scalars;
    std::vector<Ref> m_refs;
    QHash<QString, Ref> m_strings;
    std::vector<Ref> m_uids;
};
