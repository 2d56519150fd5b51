#include "platform/KPKeyedArchiver.h"

KPKeyedArchiver::KPKeyedArchiver() : m_classKey(m_plist.string(QStringLiteral("$class")))
{
    add(m_plist.string(QStringLiteral("$null")));
}

KPKeyedArchiver::Uid KPKeyedArchiver::add(KPBinaryPlistWriter::Ref ref)
{
    m_objects.push_back(ref);
    return m_objects.size() - 1;
}

KPKeyedArchiver::Uid KPKeyedArchiver::reserve()
{
    return add(0);
}

KPKeyedArchiver::Key KPKeyedArchiver::key(const QString& name)
{
    return m_plist.string(name);
}

KPKeyedArchiver::Uid KPKeyedArchiver::classFor(const QStringList& classes)
{
    const auto found = m_classes.constFind(classes.first());
    if (found != m_classes.constEnd())
        return *found;
    std::vector<KPBinaryPlistWriter::Ref> chain;
    for (const QString& name : classes)
        chain.push_back(m_plist.string(name));
    const std::pair<Key, KPBinaryPlistWriter::Ref> entries[] = {
        {key(QStringLiteral("$classname")), chain.front()},
        {key(QStringLiteral("$classes")), m_plist.array(chain)},
    };
    const Uid uid = add(m_plist.dict(entries));
    m_classes.insert(classes.first(), uid);
    return uid;
}

KPKeyedArchiver::Uid KPKeyedArchiver::string(const QString& text)
{
    const auto found = m_strings.constFind(text);
    if (found != m_strings.constEnd())
        return *found;
    const Uid uid = add(m_plist.string(text));
    m_strings.insert(text, uid);
    return uid;
}

KPKeyedArchiver::Uid KPKeyedArchiver::integer(int64_t value)
{
    const auto found = m_integers.constFind(value);
    if (found != m_integers.constEnd())
        return *found;
    const Uid uid = add(m_plist.integer(value));
    m_integers.insert(value, uid);
    return uid;
}

KPKeyedArchiver::Uid KPKeyedArchiver::real32(float value)
{
    return add(m_plist.real32(value));
}

KPKeyedArchiver::Uid KPKeyedArchiver::date(const QDateTime& date)
{
    if (!date.isValid())
        return nil;
    if (m_dateClass == nil)
        m_dateClass = classFor({QStringLiteral("NSDate"), QStringLiteral("NSObject")});
    const double seconds = double(date.toMSecsSinceEpoch() - referenceDateMSecs) / 1000.0;
    const std::pair<Key, KPBinaryPlistWriter::Ref> entries[] = {
        {m_classKey, m_plist.uid(m_dateClass)},
        {key(QStringLiteral("NS.time")), m_plist.real(seconds)},
    };
    return add(m_plist.dict(entries));
}

void KPKeyedArchiver::setObject(Uid slot, Uid classUid,
                                std::initializer_list<std::pair<Key, Uid>> values)
{
    std::vector<std::pair<Key, KPBinaryPlistWriter::Ref>> entries;
    entries.reserve(values.size() + 1);
    entries.emplace_back(m_classKey, m_plist.uid(classUid));
    for (const auto& [name, uid] : values)
        entries.emplace_back(name, m_plist.uid(uid));
    m_objects[slot] = m_plist.dict(entries);
}

void KPKeyedArchiver::setArray(Uid slot, std::span<const Uid> items)
{
    if (m_arrayClass == nil)
        m_arrayClass = classFor({QStringLiteral("NSArray"), QStringLiteral("NSObject")});
    std::vector<KPBinaryPlistWriter::Ref> refs;
    refs.reserve(items.size());
    for (Uid item : items)
        refs.push_back(m_plist.uid(item));
    const std::pair<Key, KPBinaryPlistWriter::Ref> entries[] = {
        {m_classKey, m_plist.uid(m_arrayClass)},
        {key(QStringLiteral("NS.objects")), m_plist.array(refs)},
    };
    m_objects[slot] = m_plist.dict(entries);
}

QByteArray KPKeyedArchiver::finish(Uid root)
{
    const std::pair<Key, KPBinaryPlistWriter::Ref> top[] = {
        {key(QStringLiteral("root")), m_plist.uid(root)}};
    const std::pair<Key, KPBinaryPlistWriter::Ref> entries[] = {
        {key(QStringLiteral("$version")), m_plist.integer(version)},
        {key(QStringLiteral("$archiver")), m_plist.string(QStringLiteral("NSKeyedArchiver"))},
        {key(QStringLiteral("$top")), m_plist.dict(top)},
        {key(QStringLiteral("$objects")), m_plist.array(m_objects)},
    };
    return m_plist.finish(m_plist.dict(entries));
}
