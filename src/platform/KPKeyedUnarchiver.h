#pragma once

#include "platform/KPBinaryPlistReader.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

// Reads an archive in the platform's keyed-archive layout (see KPKeyedArchiver), binary or XML,
// for a caller
// that knows what it expects: objects are asked for by UID together with the classes accepted
// there, values by key together with their type. Nothing is instantiated from a class name.
//
// The first thing found wrong is kept as the reason and every later answer is "nothing"; a
// caller reads what it needs and then asks failed(). A key that is absent or holds nil is
// "nothing" without a failure. Plain values may sit in the object's dictionary or in
// "$objects" behind a UID; strings may also be "NSString"/"NSMutableString" objects and lists
// "NSArray"/"NSMutableArray" objects, and dates "NSDate" objects or plain dates. The elements
// handed out by all lists together never exceed the archive's size in bytes, so shared or repeated
// references cannot make a reader allocate without bound.
class KPKeyedUnarchiver
{
public:
    using Uid = uint64_t;
    static constexpr Uid nil = 0;

    // A coded object: its dictionary in the property list.
    struct Object
    {
        KPBinaryPlistReader::Ref dict = 0;
    };

    explicit KPKeyedUnarchiver(QByteArrayView data);

    bool failed() const { return !m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    // For a caller that finds a value it cannot use; the first reason is kept.
    void fail(const QString& reason);
    // For a caller that gives up one object and reads on: the reason, which is then forgotten.
    // A failure of the archive's frame (not an archive, no object table) is never forgotten.
    QString takeError();

    // The UID of "$top"'s "root" (nil when there is none).
    Uid root() const { return m_root; }
    std::optional<Object> object(Uid uid, std::initializer_list<std::string_view> classes);
    // The elements of the list under `uid`; nothing for nil.
    std::optional<QList<Uid>> array(Uid uid);

    std::optional<Uid> uidForKey(const Object& object, std::string_view key);
    std::optional<int64_t> integerForKey(const Object& object, std::string_view key);
    // A real or an integer.
    std::optional<double> realForKey(const Object& object, std::string_view key);
    std::optional<QString> stringForKey(const Object& object, std::string_view key);
    std::optional<QDateTime> dateForKey(const Object& object, std::string_view key);
    std::optional<QList<Uid>> arrayForKey(const Object& object, std::string_view key);

private:
    void readFrame();
    std::optional<KPBinaryPlistReader::Ref> entry(Uid uid);
    // The plain value under `key`, looked up in "$objects" when the key holds a UID; nothing for
    // an absent key or nil.
    std::optional<KPBinaryPlistReader::Ref> plainValue(KPBinaryPlistReader::Ref dict,
                                                       std::string_view key);
    std::optional<int64_t> integerOf(KPBinaryPlistReader::Ref ref) const;
    std::optional<double> realOf(KPBinaryPlistReader::Ref ref) const;
    std::optional<QString> className(Uid classUid);

    // Set before m_converted, which is made with it.
    QString m_conversionError;
    // An XML archive in binary form; empty for a binary one, read where it lies.
    QByteArray m_converted;
    KPBinaryPlistReader m_plist;
    KPBinaryPlistReader::Container m_objects;
    Uid m_root = nil;
    int64_t m_elementBudget = 0;
    QHash<Uid, QString> m_classNames;
    QString m_error;
    bool m_frameFailed = false;
};
