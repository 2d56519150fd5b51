#pragma once

#include <QString>
#include <QVariant>

#include <plist/plist.h>

#include <memory>
#include <optional>

struct KPPlistDeleter
{
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
// Owns a property-list tree; nodes reached inside it are borrowed (plain plist_t).
using KPPlistPtr = std::unique_ptr<void, KPPlistDeleter>;

// Reading property lists (XML or binary) with libplist.
class KPPropertyList
{
public:
    // The root of the file's tree; null when the file is missing or not a property list.
    [[nodiscard]] static KPPlistPtr readFile(const QString& path);
    [[nodiscard]] static KPPlistPtr fromData(const QByteArray& data);

    // Dictionaries become QVariantMap, arrays QVariantList, integers qint64 (libplist keeps
    // them unsigned; negative numbers are cast back), reals double, data QByteArray.
    static QVariant toVariant(plist_t node);
    // A number's integer value, or that of a string holding one; nothing for anything else.
    static std::optional<qint64> integerValue(plist_t node);
    static std::optional<QString> stringValue(plist_t node);
};
