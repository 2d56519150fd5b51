#include "ui/KPUtils.h"

#include <QWidget>

namespace {

// Reads a pair like a scanner: leading blanks skipped, then hex digits while they last.
// A pair that starts with no digit reads as 0.
int hexPairValue(QStringView pair)
{
    int value = 0;
    qsizetype i = 0;
    while (i < pair.size() && pair[i].isSpace())
        ++i;
    for (; i < pair.size(); ++i) {
        const char16_t c = pair[i].unicode();
        int digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

QColor KPUtils::colorFromHex(const QString& hex)
{
    QString text = trimmedString(hex).toUpper();
    if (text.size() < 6)
        return QColor(Qt::black);
    if (text.startsWith(QLatin1Char('#')))
        text.remove(0, 1);
    if (text.size() != 6)
        return QColor(Qt::black);
    const auto component = [&](int position) {
        return float(hexPairValue(QStringView(text).mid(position, 2))) / 255.0f;
    };
    return QColor::fromRgbF(component(0), component(2), component(4), 1.0f);
}

QString KPUtils::trimmedString(const QString& text)
{
    return text.trimmed();
}

void KPUtils::endEditing(QWidget* field)
{
    if (!field || !field->hasFocus())
        return;
    field->window()->setFocus(Qt::OtherFocusReason);
    if (field->hasFocus())
        field->clearFocus();
}
