#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

// Reads one HTTP/1.1 answer as its bytes arrive, holding no more than the limits allow: the
// status line and headers together at most `headerLimit` bytes, the body at most `bodyLimit`.
// A declared length over the limit fails as soon as the headers end; an undeclared body fails
// with its first byte past the limit. Bodies come with a length, chunked, or up to the close.
// Informational answers (1xx) before the final one are skipped.
class KPHTTPResponseParser
{
public:
    enum class State { Reading, Done, Failed };

    static constexpr qint64 kHeaderLimit = 64 * 1024;

    explicit KPHTTPResponseParser(qint64 bodyLimit, qint64 headerLimit = kHeaderLimit);

    // Takes the next bytes of the answer; answers the state after them.
    State feed(QByteArrayView bytes);
    // The connection closed: a body that runs to the close ends here, any other is cut short.
    State close();

    State state() const { return m_state; }
    bool headersRead() const { return m_phase > Phase::Headers; }
    int status() const { return m_status; }
    // The value of a header, by its name in lower case; empty when it was not sent.
    QByteArray header(const QByteArray& name) const { return m_headers.value(name); }
    const QByteArray& body() const { return m_body; }
    // Why it failed.
    const QString& error() const { return m_error; }

private:
    enum class Phase { Status, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailers, Ended };

    bool takeLine(QByteArray& line, qint64 limit);
    void line(const QByteArray& text);
    void headersEnded();
    void appendBody(QByteArrayView bytes);
    void end();
    State fail(const QString& reason);

    qint64 m_bodyLimit;
    qint64 m_headerLimit;
    State m_state = State::Reading;
    Phase m_phase = Phase::Status;
    QByteArray m_pending; // an unfinished line
    qint64 m_headerBytes = 0;
    int m_status = 0;
    QHash<QByteArray, QByteArray> m_headers;
    bool m_untilClose = false;
    qint64 m_remaining = 0; // of the body, or of the chunk
    QByteArray m_body;
    QString m_error;
};
