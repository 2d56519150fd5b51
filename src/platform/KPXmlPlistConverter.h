#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// An XML property list turned into the same list in binary form, so that one reader serves
// both. Dictionaries, arrays, strings, integers, reals, dates, data and booleans are kept; a
// dictionary whose one key is "CF$UID" is the XML form of a UID. Nesting deeper than
// kMaxDepth is refused, so hostile input cannot exhaust the stack.
class KPXmlPlistConverter
{
public:
    static constexpr int kMaxDepth = 256;

    // Whether the bytes begin as an XML document (after any white space or byte-order mark).
    static bool looksLikeXml(QByteArrayView data);
    [[nodiscard]] static std::optional<QByteArray> toBinary(QByteArrayView xml,
                                                            QString* error = nullptr);
};
