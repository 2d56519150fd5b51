#pragma once

#include <QSize>
#include <QSizeF>
#include <QStringView>

#include <optional>

// The kind of device the interface is laid out for. Values match the toolkit's idioms.
enum class KPIdiom { Phone = 0, Pad = 1, Other = 2 };

// Process-wide answer to "phone or tablet?", chosen once at launch.
class KPDeviceIdiom
{
public:
    static KPIdiom current();
    static void setCurrent(KPIdiom idiom);
    static bool isPhone() { return current() == KPIdiom::Phone; }
    static bool isPad() { return current() == KPIdiom::Pad; }

    // "phone", "tablet" or "other"; nothing for any other word.
    static std::optional<KPIdiom> fromName(QStringView name);
    // A screen of at least 1024x768 points is a tablet, anything smaller a phone.
    static KPIdiom fromScreenSize(QSizeF points);
    // The landscape window in points: 480x320 on a phone, 1024x768 otherwise.
    static QSize windowSize(KPIdiom idiom);
};
