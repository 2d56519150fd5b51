#include "platform/KPXmlPlistConverter.h"

#include "platform/KPBinaryPlistWriter.h"
#include "platform/KPKeyedArchiver.h"

#include <QDateTime>
#include <QXmlStreamReader>

#include <vector>

namespace {

using Ref = KPBinaryPlistWriter::Ref;

class Converter
{
public:
    explicit Converter(QByteArrayView xml) : m_xml(xml.toByteArray()) {}

    std::optional<Ref> top()
    {
        if (!m_xml.readNextStartElement())
            return failed(QStringLiteral("not a property list"));
        if (m_xml.name() == QLatin1String("plist") && !m_xml.readNextStartElement())
            return failed(QStringLiteral("the property list is empty"));
        return value(0);
    }

    KPBinaryPlistWriter& writer() { return m_writer; }
    QString error() const { return !m_error.isEmpty() ? m_error : m_xml.errorString(); }

private:
    std::optional<Ref> failed(const QString& reason)
    {
        if (m_error.isEmpty())
            m_error = reason;
        return std::nullopt;
    }

    // At the start of an element; leaves the reader at its end.
    std::optional<Ref> value(int depth)
    {
        if (depth > KPXmlPlistConverter::kMaxDepth)
            return failed(QStringLiteral("the property list nests too deeply"));
        const QStringView name = m_xml.name();
        if (name == QLatin1String("dict"))
            return dict(depth);
        if (name == QLatin1String("array")) {
            std::vector<Ref> items;
            while (m_xml.readNextStartElement()) {
                const auto item = value(depth + 1);
                if (!item)
                    return std::nullopt;
                items.push_back(*item);
            }
            return m_xml.hasError() ? std::nullopt : std::optional(m_writer.array(items));
        }
        if (name == QLatin1String("true") || name == QLatin1String("false")) {
            const bool truth = name == QLatin1String("true");
            m_xml.skipCurrentElement();
            return m_writer.boolean(truth);
        }
        const QString kind = name.toString();
        const QString text = m_xml.readElementText();
        if (m_xml.hasError())
            return std::nullopt;
        if (kind == QLatin1String("string"))
            return m_writer.string(text);
        if (kind == QLatin1String("integer")) {
            bool ok = false;
            const qint64 number = text.trimmed().toLongLong(&ok);
            m_lastInteger = number;
            return ok ? std::optional(m_writer.integer(number))
                      : failed(QStringLiteral("\"%1\" is not an integer").arg(text));
        }
        if (kind == QLatin1String("real")) {
            bool ok = false;
            const double number = text.trimmed().toDouble(&ok);
            return ok ? std::optional(m_writer.real(number))
                      : failed(QStringLiteral("\"%1\" is not a number").arg(text));
        }
        if (kind == QLatin1String("date")) {
            const QDateTime date = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
            if (!date.isValid())
                return failed(QStringLiteral("\"%1\" is not a date").arg(text));
            return m_writer.date(
                double(date.toMSecsSinceEpoch() - KPKeyedArchiver::referenceDateMSecs) / 1000.0);
        }
        if (kind == QLatin1String("data"))
            return m_writer.data(QByteArray::fromBase64(text.toLatin1()));
        return failed(QStringLiteral("<%1> has no place in a property list").arg(kind));
    }

    std::optional<Ref> dict(int depth)
    {
        std::vector<std::pair<Ref, Ref>> entries;
        QString onlyKey;
        std::optional<qint64> onlyInteger;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() != QLatin1String("key"))
                return failed(QStringLiteral("a dictionary holds a value without its key"));
            const QString key = m_xml.readElementText();
            if (!m_xml.readNextStartElement())
                return failed(QStringLiteral("the key \"%1\" has no value").arg(key));
            const bool isInteger = m_xml.name() == QLatin1String("integer");
            const auto item = value(depth + 1);
            if (!item)
                return std::nullopt;
            entries.emplace_back(m_writer.string(key), *item);
            onlyKey = key;
            onlyInteger = isInteger ? std::optional(m_lastInteger) : std::nullopt;
        }
        if (m_xml.hasError())
            return std::nullopt;
        if (entries.size() == 1 && onlyKey == QLatin1String("CF$UID") && onlyInteger &&
            *onlyInteger >= 0)
            return m_writer.uid(uint64_t(*onlyInteger));
        return m_writer.dict(entries);
    }

    QXmlStreamReader m_xml;
    KPBinaryPlistWriter m_writer;
    QString m_error;
    // The value of the integer read last, for telling a UID.
    qint64 m_lastInteger = 0;
};

} // namespace

bool KPXmlPlistConverter::looksLikeXml(QByteArrayView data)
{
    QByteArrayView rest = data;
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    rest = rest.trimmed();
    return rest.startsWith("<?xml") || rest.startsWith("<!DOCTYPE") || rest.startsWith("<plist");
}

std::optional<QByteArray> KPXmlPlistConverter::toBinary(QByteArrayView xml, QString* error)
{
    Converter converter(xml);
    const std::optional<Ref> top = converter.top();
    if (!top) {
        if (error)
            *error = converter.error();
        return std::nullopt;
    }
    return converter.writer().finish(*top);
}
