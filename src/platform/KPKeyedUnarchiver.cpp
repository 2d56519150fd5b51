#include "platform/KPKeyedUnarchiver.h"

#include "platform/KPKeyedArchiver.h"
#include "platform/KPXmlPlistConverter.h"

#include <algorithm>
#include <cmath>
#include <utility>

using Type = KPBinaryPlistReader::Type;

namespace {

// About 3,000 years either side of 2001: far beyond any recording, well inside what a
// millisecond count holds.
constexpr double kLargestDateSeconds = 1.0e11;

QString quoted(std::string_view key)
{
    return u'"' + QString::fromLatin1(key.data(), qsizetype(key.size())) + u'"';
}

} // namespace

KPKeyedUnarchiver::KPKeyedUnarchiver(QByteArrayView data)
    : m_converted(KPXmlPlistConverter::looksLikeXml(data)
                      ? KPXmlPlistConverter::toBinary(data, &m_conversionError).value_or("-")
                      : QByteArray()),
      m_plist(m_converted.isEmpty() ? data : QByteArrayView(m_converted)),
      m_elementBudget(data.size())
{
    readFrame();
    m_frameFailed = failed();
}

void KPKeyedUnarchiver::readFrame()
{
    if (!m_conversionError.isEmpty()) {
        fail(QStringLiteral("not an XML property list: ") + m_conversionError);
        return;
    }
    if (!m_plist.isValid()) {
        fail(QStringLiteral("not a binary property list"));
        return;
    }
    const auto top = m_plist.top();
    const auto archiver = m_plist.value(top, "$archiver");
    const auto version = m_plist.value(top, "$version");
    if (!archiver || !m_plist.stringEquals(*archiver, "NSKeyedArchiver") || !version ||
        m_plist.integer(*version) != KPKeyedArchiver::version) {
        fail(QStringLiteral("not a keyed archive"));
        return;
    }
    const auto objects = m_plist.value(top, "$objects");
    const auto objectList = objects ? m_plist.array(*objects) : std::nullopt;
    if (!objectList || objectList->count == 0 ||
        !m_plist.stringEquals(m_plist.element(*objectList, 0), "$null")) {
        fail(QStringLiteral("the archive has no object table"));
        return;
    }
    m_objects = *objectList;
    const auto topObjects = m_plist.value(top, "$top");
    if (!topObjects || m_plist.type(*topObjects) != Type::Dict) {
        fail(QStringLiteral("the archive has no top object table"));
        return;
    }
    const auto root = m_plist.value(*topObjects, "root");
    if (!root)
        return;
    const auto rootUid = m_plist.uid(*root);
    if (!rootUid) {
        fail(QStringLiteral("the root is not a reference"));
        return;
    }
    if (entry(*rootUid))
        m_root = *rootUid;
}

void KPKeyedUnarchiver::fail(const QString& reason)
{
    if (m_error.isEmpty())
        m_error = reason;
}

QString KPKeyedUnarchiver::takeError()
{
    return m_frameFailed ? m_error : std::exchange(m_error, QString());
}

std::optional<KPBinaryPlistReader::Ref> KPKeyedUnarchiver::entry(Uid uid)
{
    if (uid >= m_objects.count) {
        fail(QStringLiteral("reference %1 beyond the %2 objects").arg(uid).arg(m_objects.count));
        return std::nullopt;
    }
    return m_plist.element(m_objects, uid);
}

std::optional<QString> KPKeyedUnarchiver::className(Uid classUid)
{
    const auto known = m_classNames.constFind(classUid);
    if (known != m_classNames.constEnd())
        return *known;
    const auto description = entry(classUid);
    const auto name = description ? m_plist.value(*description, "$classname") : std::nullopt;
    auto text = name ? m_plist.string(*name) : std::nullopt;
    if (!text) {
        fail(QStringLiteral("object %1 is not a class description").arg(classUid));
        return std::nullopt;
    }
    m_classNames.insert(classUid, *text);
    return text;
}

std::optional<KPKeyedUnarchiver::Object>
KPKeyedUnarchiver::object(Uid uid, std::initializer_list<std::string_view> classes)
{
    if (failed())
        return std::nullopt;
    const auto dict = entry(uid);
    const auto classRef = dict ? m_plist.value(*dict, "$class") : std::nullopt;
    const auto classUid = classRef ? m_plist.uid(*classRef) : std::nullopt;
    if (!classUid) {
        fail(QStringLiteral("object %1 is not a coded object").arg(uid));
        return std::nullopt;
    }
    const auto name = className(*classUid);
    if (!name)
        return std::nullopt;
    const bool accepted = std::any_of(classes.begin(), classes.end(), [&](std::string_view c) {
        return *name == QLatin1StringView(c.data(), qsizetype(c.size()));
    });
    if (!accepted) {
        fail(QStringLiteral("object %1 is a %2, not expected there").arg(uid).arg(*name));
        return std::nullopt;
    }
    return Object{*dict};
}

std::optional<QList<KPKeyedUnarchiver::Uid>> KPKeyedUnarchiver::array(Uid uid)
{
    if (uid == nil)
        return std::nullopt;
    const auto list = object(uid, {"NSArray", "NSMutableArray"});
    if (!list)
        return std::nullopt;
    const auto items = m_plist.value(list->dict, "NS.objects");
    const auto refs = items ? m_plist.array(*items) : std::nullopt;
    if (!refs) {
        fail(QStringLiteral("list %1 has no elements").arg(uid));
        return std::nullopt;
    }
    // Checked before it is spent, so that one damaged count leaves the others readable.
    if (refs->count > uint64_t(m_elementBudget)) {
        fail(QStringLiteral("more list elements than the archive has bytes"));
        return std::nullopt;
    }
    m_elementBudget -= int64_t(refs->count);
    QList<Uid> elements;
    elements.reserve(qsizetype(refs->count));
    for (uint64_t i = 0; i < refs->count; ++i) {
        const auto element = m_plist.uid(m_plist.element(*refs, i));
        if (!element || *element >= m_objects.count) {
            fail(QStringLiteral("list %1 holds a bad reference").arg(uid));
            return std::nullopt;
        }
        elements.append(*element);
    }
    return elements;
}

std::optional<KPKeyedUnarchiver::Uid> KPKeyedUnarchiver::uidForKey(const Object& object,
                                                                   std::string_view key)
{
    const auto value = m_plist.value(object.dict, key);
    if (!value)
        return std::nullopt;
    const auto uid = m_plist.uid(*value);
    if (!uid) {
        fail(quoted(key) + QStringLiteral(" is not a reference"));
        return std::nullopt;
    }
    if (*uid == nil || !entry(*uid))
        return std::nullopt;
    return uid;
}

std::optional<KPBinaryPlistReader::Ref> KPKeyedUnarchiver::plainValue(KPBinaryPlistReader::Ref dict,
                                                                      std::string_view key)
{
    const auto value = m_plist.value(dict, key);
    if (!value || m_plist.type(*value) != Type::Uid)
        return value;
    const auto uid = m_plist.uid(*value);
    if (!uid || *uid == nil)
        return std::nullopt;
    return entry(*uid);
}

std::optional<int64_t> KPKeyedUnarchiver::integerForKey(const Object& object, std::string_view key)
{
    const auto value = plainValue(object.dict, key);
    if (!value)
        return std::nullopt;
    const auto number = m_plist.integer(*value);
    if (!number)
        fail(quoted(key) + QStringLiteral(" is not an integer"));
    return number;
}

std::optional<double> KPKeyedUnarchiver::realOf(KPBinaryPlistReader::Ref ref) const
{
    if (const auto number = m_plist.real(ref))
        return number;
    if (const auto number = m_plist.integer(ref))
        return double(*number);
    return std::nullopt;
}

std::optional<double> KPKeyedUnarchiver::realForKey(const Object& object, std::string_view key)
{
    const auto value = plainValue(object.dict, key);
    if (!value)
        return std::nullopt;
    const auto number = realOf(*value);
    if (!number)
        fail(quoted(key) + QStringLiteral(" is not a number"));
    return number;
}

std::optional<QString> KPKeyedUnarchiver::stringForKey(const Object& object, std::string_view key)
{
    const auto value = plainValue(object.dict, key);
    if (!value)
        return std::nullopt;
    if (m_plist.type(*value) == Type::String)
        return m_plist.string(*value);
    // A string kept as an object of its own class.
    const auto uid = uidForKey(object, key);
    const auto string = uid ? this->object(*uid, {"NSString", "NSMutableString"}) : std::nullopt;
    const auto text = string ? plainValue(string->dict, "NS.string") : std::nullopt;
    if (text && m_plist.type(*text) == Type::String)
        return m_plist.string(*text);
    fail(quoted(key) + QStringLiteral(" is not a string"));
    return std::nullopt;
}

std::optional<QDateTime> KPKeyedUnarchiver::dateForKey(const Object& object, std::string_view key)
{
    // Another archiver stores a date as a plain property-list date.
    const auto plain = plainValue(object.dict, key);
    std::optional<double> seconds;
    if (plain && m_plist.type(*plain) == Type::Date) {
        seconds = m_plist.date(*plain);
    } else {
        const auto uid = uidForKey(object, key);
        const auto date = uid ? this->object(*uid, {"NSDate"}) : std::nullopt;
        if (!date)
            return std::nullopt;
        const auto time = plainValue(date->dict, "NS.time");
        seconds = time ? realOf(*time) : std::nullopt;
    }
    if (!seconds || !std::isfinite(*seconds) || std::abs(*seconds) > kLargestDateSeconds) {
        fail(quoted(key) + QStringLiteral(" holds no usable time"));
        return std::nullopt;
    }
    return QDateTime::fromMSecsSinceEpoch(
        KPKeyedArchiver::referenceDateMSecs + std::llround(*seconds * 1000.0), Qt::UTC);
}

std::optional<QList<KPKeyedUnarchiver::Uid>> KPKeyedUnarchiver::arrayForKey(const Object& object,
                                                                            std::string_view key)
{
    const auto uid = uidForKey(object, key);
    return uid ? array(*uid) : std::nullopt;
}
