#pragma once

#include <QColor>
#include <QString>

class QWidget;

class KPUtils
{
public:
    // Six hexadecimal digits, optionally behind "#", with blanks around them; black otherwise.
    static QColor colorFromHex(const QString& hex);
    // Without leading and trailing white space and line breaks.
    static QString trimmedString(const QString& text);
    // Takes the keyboard focus from `field` to its window, so that no field is edited any more.
    // A plain clearFocus() leaves a field of a screen shown in a graphics view as the
    // application's focus widget, still taking the keys.
    static void endEditing(QWidget* field);
};
