#include "net/KPHTTPResponseParser.h"

#include <algorithm>
#include <utility>

namespace {

// A chunk's size line is a hexadecimal number and perhaps an extension: never long.
constexpr qint64 kChunkLineLimit = 1024;

} // namespace

KPHTTPResponseParser::KPHTTPResponseParser(qint64 bodyLimit, qint64 headerLimit)
    : m_bodyLimit(bodyLimit), m_headerLimit(headerLimit)
{}

KPHTTPResponseParser::State KPHTTPResponseParser::feed(QByteArrayView bytes)
{
    qsizetype at = 0;
    while (m_state == State::Reading && at < bytes.size()) {
        if (m_phase == Phase::Body || m_phase == Phase::ChunkData) {
            const qsizetype left = bytes.size() - at;
            const qsizetype taken =
                m_untilClose ? left : qsizetype(std::min<qint64>(m_remaining, left));
            appendBody(bytes.sliced(at, taken));
            at += taken;
            m_remaining -= taken;
            if (!m_untilClose && m_remaining == 0 && m_state == State::Reading) {
                if (m_phase == Phase::Body)
                    end();
                else
                    m_phase = Phase::ChunkEnd;
            }
            continue;
        }
        const qsizetype newline = bytes.indexOf('\n', at);
        const qsizetype taken = (newline < 0 ? bytes.size() : newline + 1) - at;
        m_pending.append(bytes.sliced(at, taken));
        at += taken;
        const bool head =
            m_phase == Phase::Status || m_phase == Phase::Headers || m_phase == Phase::Trailers;
        if (head && (m_headerBytes += taken) > m_headerLimit)
            return fail(
                QStringLiteral("The answer's headers are larger than %1 bytes").arg(m_headerLimit));
        if (!head && m_pending.size() > kChunkLineLimit)
            return fail(QStringLiteral("A chunk's size line is too long"));
        if (newline < 0)
            continue;
        QByteArray text = std::exchange(m_pending, QByteArray());
        text.chop(text.endsWith("\r\n") ? 2 : 1);
        line(text);
    }
    return m_state;
}

KPHTTPResponseParser::State KPHTTPResponseParser::close()
{
    if (m_state != State::Reading)
        return m_state;
    if (m_phase == Phase::Body && m_untilClose) {
        end();
        return m_state;
    }
    return fail(QStringLiteral("The connection closed before the answer ended"));
}

void KPHTTPResponseParser::line(const QByteArray& text)
{
    switch (m_phase) {
    case Phase::Status: {
        const QList<QByteArray> parts = text.split(' ');
        bool number = false;
        m_status = parts.value(1).toInt(&number);
        if (!text.startsWith("HTTP/1.") || !number || m_status < 100 || m_status > 999) {
            fail(QStringLiteral("The answer is not HTTP"));
            return;
        }
        m_headers.clear();
        m_phase = Phase::Headers;
        return;
    }
    case Phase::Headers: {
        if (text.isEmpty()) {
            headersEnded();
            return;
        }
        const qsizetype colon = text.indexOf(':');
        if (colon <= 0) {
            fail(QStringLiteral("The answer has a malformed header"));
            return;
        }
        const QByteArray name = text.left(colon).trimmed().toLower();
        const QByteArray value = text.mid(colon + 1).trimmed();
        QByteArray& field = m_headers[name];
        field = field.isEmpty() ? value : field + ", " + value;
        return;
    }
    case Phase::ChunkSize: {
        bool number = false;
        const qsizetype extension = text.indexOf(';');
        const qint64 size =
            (extension < 0 ? text : text.left(extension)).trimmed().toLongLong(&number, 16);
        if (!number || size < 0) {
            fail(QStringLiteral("The answer has a malformed chunk"));
            return;
        }
        m_remaining = size;
        m_phase = size == 0 ? Phase::Trailers : Phase::ChunkData;
        return;
    }
    case Phase::ChunkEnd:
        if (!text.isEmpty())
            fail(QStringLiteral("The answer has a malformed chunk"));
        m_phase = Phase::ChunkSize;
        return;
    case Phase::Trailers:
        if (text.isEmpty())
            end();
        return;
    case Phase::Body:
    case Phase::ChunkData:
    case Phase::Ended:
        return;
    }
}

// The body's kind: informational answers have none and another answer follows; chunked
// beats a length; without either, the body runs to the close (but 204 and 304 have none).
void KPHTTPResponseParser::headersEnded()
{
    if (m_status < 200) {
        m_phase = Phase::Status;
        return;
    }
    if (header("transfer-encoding").toLower().contains("chunked")) {
        m_phase = Phase::ChunkSize;
        return;
    }
    const QByteArray length = header("content-length");
    if (!length.isEmpty()) {
        bool number = false;
        m_remaining = length.toLongLong(&number);
        if (!number || m_remaining < 0) {
            fail(QStringLiteral("The answer has a malformed length"));
            return;
        }
        if (m_remaining > m_bodyLimit) {
            fail(QStringLiteral("The answer is larger than %1 bytes").arg(m_bodyLimit));
            return;
        }
    }
    if (m_status == 204 || m_status == 304 || (!length.isEmpty() && m_remaining == 0)) {
        end();
        return;
    }
    m_untilClose = length.isEmpty();
    m_phase = Phase::Body;
}

void KPHTTPResponseParser::appendBody(QByteArrayView bytes)
{
    if (m_body.size() + bytes.size() > m_bodyLimit) {
        fail(QStringLiteral("The answer is larger than %1 bytes").arg(m_bodyLimit));
        return;
    }
    m_body.append(bytes);
}

void KPHTTPResponseParser::end()
{
    m_phase = Phase::Ended;
    m_state = State::Done;
}

KPHTTPResponseParser::State KPHTTPResponseParser::fail(const QString& reason)
{
    m_state = State::Failed;
    m_error = reason;
    return m_state;
}
