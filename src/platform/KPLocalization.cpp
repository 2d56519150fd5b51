#include "platform/KPLocalization.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {
constexpr auto kContext = "Localizable";

QTranslator& translator()
{
    static QTranslator instance;
    return instance;
}

QTranslator& qtTranslator()
{
    static QTranslator instance;
    return instance;
}
} // namespace

QString KPLocalization::string(const char* key)
{
    const QString text = QCoreApplication::translate(kContext, key);
    // An untranslated key comes back as itself: that is "no text".
    return text == QLatin1String(key) ? QString() : text;
}

QString KPLocalization::displayName(const QString& name)
{
    const QString text = string(name.toUtf8().constData());
    return text.isEmpty() ? name : text;
}

bool KPLocalization::install(const QLocale& locale)
{
    QCoreApplication::removeTranslator(&qtTranslator());
    if (qtTranslator().load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator());
    QCoreApplication::removeTranslator(&translator());
    const bool loaded = translator().load(locale, QStringLiteral("touchpiano"), QStringLiteral("_"),
                                          QStringLiteral(":/i18n")) ||
                        translator().load(QStringLiteral(":/i18n/touchpiano_en"));
    if (loaded)
        QCoreApplication::installTranslator(&translator());
    return loaded;
}
