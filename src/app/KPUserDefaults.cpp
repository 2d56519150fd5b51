#include "KPUserDefaults.h"

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
