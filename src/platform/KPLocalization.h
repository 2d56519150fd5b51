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
    // A name shown to the user (an instrument's) in the user's language; the name itself where
    // it has no translation.
    static QString displayName(const QString& name);
    // Loads the table for the locale (English where there is none for its language), and Qt's
    // own texts (its dialogs and buttons) for the locale where Qt has them.
    static bool install(const QLocale& locale = QLocale());
};
