#pragma once

#include "platform/KPBinaryPlistWriter.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

// Writes an object graph in the platform's keyed-archive layout: a binary property list with
// "$archiver" = "NSKeyedArchiver", "$version" = 100000, "$top" = {"root": UID} and "$objects",
// whose first entry is "$null" (UID 0, which stands for nil). An object is a dictionary of its
// keyed values plus "$class", the UID of a class description ("$classname", "$classes" with its
// superclasses). Strings and numbers are plain entries of "$objects"; equal strings and
// integers share one entry, as equal objects do on the platform.
class KPKeyedArchiver
{
public:
    using Uid = uint64_t;
    using Key = KPBinaryPlistWriter::Ref;
    static constexpr Uid nil = 0;
    static constexpr int64_t version = 100000;
    // 1 January 2001, 00:00 UTC, from which archived dates count.
    static constexpr int64_t referenceDateMSecs = 978307200000;

    KPKeyedArchiver();

    // A UID for an object set later, so that a container can be numbered before its contents,
    // as the platform numbers them.
    Uid reserve();
    Key key(const QString& name);
    // The class description for a class and its superclasses, most derived first.
    Uid classFor(const QStringList& classes);

    Uid string(const QString& text);
    Uid integer(int64_t value);
    Uid real32(float value);
    // An "NSDate" with "NS.time", seconds since 1 January 2001; nil for an invalid date.
    Uid date(const QDateTime& date);

    void setObject(Uid slot, Uid classUid, std::initializer_list<std::pair<Key, Uid>> values);
    // An "NSArray" with "NS.objects".
    void setArray(Uid slot, std::span<const Uid> items);

    [[nodiscard]] QByteArray finish(Uid root);

private:
    Uid add(KPBinaryPlistWriter::Ref ref);

    KPBinaryPlistWriter m_plist;
    std::vector<KPBinaryPlistWriter::Ref> m_objects;
    QHash<QString, Uid> m_classes;
    QHash<QString, Uid> m_strings;
    QHash<int64_t, Uid> m_integers;
    Key m_classKey;
    Uid m_arrayClass = nil;
    Uid m_dateClass = nil;
};
