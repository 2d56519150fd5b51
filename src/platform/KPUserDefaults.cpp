#include "platform/KPUserDefaults.h"

#include "platform/KPBundle.h"
#include "platform/KPPropertyList.h"

#include <QDir>

KPUserDefaults& KPUserDefaults::standard()
{
    static KPUserDefaults instance(
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QStringLiteral("touchpiano"), QStringLiteral("touchpiano")));
    return instance;
}

KPUserDefaults::KPUserDefaults(std::unique_ptr<QSettings> settings)
    : m_settings(std::move(settings))
{}

void KPUserDefaults::registerDefaults(const QVariantMap& defaults)
{
    m_registered.insert(defaults);
}

QVariant KPUserDefaults::value(const QString& key) const
{
    if (m_settings->contains(key))
        return m_settings->value(key);
    return m_registered.value(key);
}

void KPUserDefaults::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
}

void KPUserDefaults::removeValue(const QString& key)
{
    m_settings->remove(key);
}

void KPUserDefaults::registerDefaultsFromSettingsBundle()
{
    const QString bundle =
        KPBundle::pathForResource(QStringLiteral("Settings"), QStringLiteral("bundle"));
    if (bundle.isEmpty())
        return;
    QVariantMap defaults;
    const KPPlistPtr root =
        KPPropertyList::readFile(QDir(bundle).filePath(QStringLiteral("Root.plist")));
    const plist_t specifiers = root && plist_get_node_type(root.get()) == PLIST_DICT
                                   ? plist_dict_get_item(root.get(), "PreferenceSpecifiers")
                                   : nullptr;
    if (specifiers && plist_get_node_type(specifiers) == PLIST_ARRAY) {
        const uint32_t count = plist_array_get_size(specifiers);
        for (uint32_t i = 0; i < count; ++i) {
            const plist_t entry = plist_array_get_item(specifiers, i);
            if (plist_get_node_type(entry) != PLIST_DICT)
                continue;
            const auto key = KPPropertyList::stringValue(plist_dict_get_item(entry, "Key"));
            const plist_t value = plist_dict_get_item(entry, "DefaultValue");
            if (key && value)
                defaults.insert(*key, KPPropertyList::toVariant(value));
        }
    }
    registerDefaults(defaults);
}
