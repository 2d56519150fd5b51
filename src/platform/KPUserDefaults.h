#pragma once

#include <QSettings>
#include <QVariantMap>

#include <memory>

// The user-defaults store: values the user (or the program) set live in QSettings; registered
// defaults answer only where no value was set and are never written.
class KPUserDefaults
{
public:
    static KPUserDefaults& standard();

    explicit KPUserDefaults(std::unique_ptr<QSettings> settings);

    void registerDefaults(const QVariantMap& defaults);
    // Registers the "DefaultValue" of every "PreferenceSpecifiers" entry of the bundled
    // "Settings.bundle/Root.plist" under its "Key".
    void registerDefaultsFromSettingsBundle();
    QVariantMap registeredDefaults() const { return m_registered; }

    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void removeValue(const QString& key);
    QSettings& settings() { return *m_settings; }

private:
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
};
