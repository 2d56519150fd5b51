#pragma once

#include <QColor>
#include <QString>

class KPUtils
{
public:
    // Six hexadecimal digits, optionally behind "#", with blanks around them; black otherwise.
    static QColor colorFromHex(const QString& hex);
    // Without leading and trailing white space and line breaks.
    static QString trimmedString(const QString& text);
};
