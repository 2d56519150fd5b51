#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

// Localized texts by key from the default strings table; the empty string when a key has no
// text in any language.
class KPLocalization
{
public:
    static QString string(const char* key);
    // Loads the table for the locale (English where there is none for its language).
    static bool install(const QLocale& locale = QLocale());
};
