#include "exchange/KPStandardMidiFile.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr uint32_t kDefaultTempo = 500000; // microseconds a quarter: 120 beats per minute

void appendVariableLength(QByteArray& out, uint32_t value)
{
    uint8_t bytes[4];
    int count = 0;
    do {
        bytes[count++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value && count < 4);
    while (count > 1)
        out.append(char(bytes[--count] | 0x80));
    out.append(char(bytes[0]));
}

void appendBigEndian(QByteArray& out, uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xFF));
}

// A cursor over bytes that answers nothing once the end is passed, so a bad length cannot
// read outside the buffer.
class Reader
{
public:
    Reader(const char* data, qsizetype size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }
    qsizetype remaining() const { return m_size - m_pos; }
    std::optional<uint8_t> byte()
    {
        if (atEnd())
            return std::nullopt;
        return uint8_t(m_data[m_pos++]);
    }
    std::optional<uint32_t> bigEndian(int bytes)
    {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const auto b = byte();
            if (!b)
                return std::nullopt;
            value = value << 8 | *b;
        }
        return value;
    }
    // At most four bytes, as the file format allows.
    std::optional<uint32_t> variableLength()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto b = byte();
            if (!b)
                return std::nullopt;
            value = value << 7 | (*b & 0x7F);
            if (!(*b & 0x80))
                return value;
        }
        return std::nullopt;
    }
    bool skip(uint32_t count)
    {
        if (qsizetype(count) > remaining())
            return false;
        m_pos += count;
        return true;
    }
    QByteArray take(uint32_t count)
    {
        QByteArray bytes(m_data + m_pos, count);
        m_pos += count;
        return bytes;
    }
    const char* current() const { return m_data + m_pos; }

private:
    const char* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
};

struct TimedMessage
{
    uint64_t tick;
    int track;
    qsizetype order;
    KPStandardMidiFile::Message message;
};

// The data bytes after a system-common or real-time status met inside a track, where only
// channel, meta and system-exclusive events belong; nothing for a status that has no length.
std::optional<int> strayDataBytes(uint8_t status)
{
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 1;
    case 0xF2:
        return 2;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
        return 0;
    default:
        return std::nullopt;
    }
}

int dataBytesOf(uint8_t status)
{
    const uint8_t kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

// One track's channel messages with their absolute ticks; tempo changes go into `tempos`
// (tick -> microseconds a quarter). A track that the end of the file cut short (`cutShort`)
// keeps its complete events: an event the end cuts off is all it loses.
bool readTrack(Reader& track, int trackIndex, bool cutShort, std::vector<TimedMessage>& out,
               std::map<uint64_t, uint32_t>& tempos, QString& trackName, QString* error)
{
    uint64_t tick = 0;
    uint8_t runningStatus = 0;
    const qsizetype kept = qsizetype(out.size());
    const auto cutOff = [&](const QString& reason) {
        if (!cutShort)
            return fail(error, reason);
        qWarning("KPStandardMidiFile: track %d is cut off by the end of the file; its %lld "
                 "complete events are read",
                 trackIndex + 1, qlonglong(qsizetype(out.size()) - kept));
        return true;
    };
    while (!track.atEnd()) {
        const auto delta = track.variableLength();
        if (!delta)
            return cutOff(QStringLiteral("a delta time runs past the end of its track"));
        tick += *delta;
        auto first = track.byte();
        if (!first)
            return cutOff(QStringLiteral("an event is cut off"));
        uint8_t status = *first;
        if (status == 0xFF) {
            const auto type = track.byte();
            const auto length = track.variableLength();
            if (!type || !length || qsizetype(*length) > track.remaining())
                return cutOff(QStringLiteral("a meta event runs past the end of its track"));
            const QByteArray payload = track.take(*length);
            if (*type == 0x2F)
                return true;
            if (*type == 0x51 && payload.size() == 3) {
                const uint32_t tempo =
                    uint8_t(payload[0]) << 16 | uint8_t(payload[1]) << 8 | uint8_t(payload[2]);
                if (tempo > 0)
                    tempos[tick] = tempo;
            }
            if (*type == 0x03 && trackName.isEmpty())
                trackName = QString::fromUtf8(payload);
            continue;
        }
        if (status == 0xF0 || status == 0xF7) {
            const auto length = track.variableLength();
            if (!length || !track.skip(*length))
                return cutOff(QStringLiteral("a system-exclusive message runs past the end"));
            runningStatus = 0;
            continue;
        }
        // A player passes over such a message by its length; the running status goes on.
        if (status >= 0xF0) {
            const auto length = strayDataBytes(status);
            if (!length)
                return fail(error, QStringLiteral("track %1 holds the undefined status byte "
                                                  "0x%2")
                                       .arg(trackIndex + 1)
                                       .arg(status, 2, 16, QLatin1Char('0')));
            if (!track.skip(uint32_t(*length)))
                return cutOff(QStringLiteral("a system message is cut off"));
            qInfo("KPStandardMidiFile: skipped a system message 0x%02X in track %d at tick %llu",
                  status, trackIndex + 1, qulonglong(tick));
            continue;
        }
        std::optional<uint8_t> data1;
        if (status & 0x80) {
            runningStatus = status;
            data1 = track.byte();
        } else if (runningStatus) {
            data1 = status;
            status = runningStatus;
        } else {
            return fail(error, QStringLiteral("a data byte stands where a status was due"));
        }
        std::optional<uint8_t> data2 = uint8_t(0);
        if (dataBytesOf(status) == 2)
            data2 = track.byte();
        if (!data1 || !data2)
            return cutOff(QStringLiteral("a channel message is cut off"));
        if ((*data1 & 0x80) || (*data2 & 0x80))
            return fail(error, QStringLiteral("a channel message is malformed"));
        out.push_back({tick, trackIndex, qsizetype(out.size()), {0.0, status, *data1, *data2}});
    }
    return true; // a track without its end marker is taken as it stands
}

} // namespace

QByteArray KPStandardMidiFile::writeType0(const QString& trackName, const QList<Message>& messages)
{
    constexpr double ticksPerSecond = ticksPerQuarter * beatsPerMinute / 60.0;
    QByteArray track;
    const QByteArray name = trackName.toUtf8();
    track.append('\0');
    track.append("\xFF\x03", 2);
    appendVariableLength(track, uint32_t(name.size()));
    track.append(name);
    track.append("\x00\xFF\x51\x03", 4);
    appendBigEndian(track, kDefaultTempo, 3);
    uint64_t previous = 0;
    for (const Message& message : messages) {
        const uint64_t tick = std::max<uint64_t>(
            previous, uint64_t(std::llround(std::max(0.0, message.seconds) * ticksPerSecond)));
        appendVariableLength(track, uint32_t(std::min<uint64_t>(tick - previous, 0x0FFFFFFF)));
        previous = tick;
        track.append(char(message.status));
        track.append(char(message.data1 & 0x7F));
        if (dataBytesOf(message.status) == 2)
            track.append(char(message.data2 & 0x7F));
    }
    track.append("\x00\xFF\x2F\x00", 4);

    QByteArray file("MThd\0\0\0\x06\0\0\0\x01", 12);
    appendBigEndian(file, ticksPerQuarter, 2);
    file.append("MTrk", 4);
    appendBigEndian(file, uint32_t(track.size()), 4);
    file.append(track);
    return file;
}

std::optional<KPStandardMidiFile::Sequence> KPStandardMidiFile::read(const QByteArray& data,
                                                                     QString* error)
{
    const auto failed = [error](const QString& reason) {
        fail(error, reason);
        return std::optional<Sequence>();
    };
    Reader file(data.constData(), data.size());
    if (!data.startsWith("MThd"))
        return failed(QStringLiteral("not a MIDI file"));
    file.skip(4);
    const auto headerLength = file.bigEndian(4);
    const auto format = file.bigEndian(2);
    const auto trackCount = file.bigEndian(2);
    const auto division = file.bigEndian(2);
    if (!division)
        return failed(QStringLiteral("the file's header is cut off"));
    if (*headerLength < 6 || !file.skip(*headerLength - 6))
        return failed(QStringLiteral("the file's header is damaged: it gives its length as %1 "
                                     "bytes, where 6 are due")
                          .arg(*headerLength));
    if (*format == 2)
        return failed(QStringLiteral("type 2 files (independent patterns) are not read"));
    if (*format > 2)
        return failed(QStringLiteral("the file's header is damaged: it names format %1, where 0, 1 "
                                     "or 2 are due")
                          .arg(*format));
    if (*trackCount == 0)
        return failed(QStringLiteral("the file's header counts no track"));
    if (*division == 0)
        return failed(QStringLiteral("the file gives no time division"));

    Sequence sequence;
    std::vector<TimedMessage> timed;
    std::map<uint64_t, uint32_t> tempos;
    int track = 0;
    while (!file.atEnd() && track < int(*trackCount)) {
        const auto tag = file.bigEndian(4);
        const auto length = file.bigEndian(4);
        if (!tag || !length)
            return failed(QStringLiteral("a chunk's header is cut off"));
        // The last chunk may lack its last bytes: what it holds is read.
        const bool cutShort = qsizetype(*length) > file.remaining();
        const auto size = uint32_t(std::min<qsizetype>(*length, file.remaining()));
        Reader chunk(file.current(), size);
        file.skip(size);
        if (*tag != 0x4D54726B) // "MTrk"; other chunks are skipped
            continue;
        QString reason;
        if (!readTrack(chunk, track++, cutShort, timed, tempos, sequence.trackName, &reason))
            return failed(reason);
    }
    std::stable_sort(timed.begin(), timed.end(), [](const TimedMessage& a, const TimedMessage& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.track < b.track;
    });

    // Ticks to seconds: a SMPTE division gives a fixed rate; a metrical one follows the tempo
    // map, which holds in every track of a type 1 file.
    const bool smpte = *division & 0x8000;
    double secondsPerTick = 0.0;
    if (smpte) {
        const int framesPerSecond = -int8_t(*division >> 8);
        const int ticksPerFrame = *division & 0xFF;
        if (framesPerSecond <= 0 || ticksPerFrame == 0)
            return failed(QStringLiteral("the file's time division is not valid"));
        secondsPerTick = 1.0 / (framesPerSecond == 29 ? 29.97 : framesPerSecond) / ticksPerFrame;
    }
    auto tempo = tempos.begin();
    uint32_t current = kDefaultTempo;
    uint64_t anchorTick = 0;
    double anchorSeconds = 0.0;
    for (TimedMessage& entry : timed) {
        if (!smpte) {
            while (tempo != tempos.end() && tempo->first <= entry.tick) {
                anchorSeconds += double(tempo->first - anchorTick) * current / 1e6 / *division;
                anchorTick = tempo->first;
                current = tempo->second;
                ++tempo;
            }
            entry.message.seconds =
                anchorSeconds + double(entry.tick - anchorTick) * current / 1e6 / *division;
        } else {
            entry.message.seconds = double(entry.tick) * secondsPerTick;
        }
        sequence.messages.append(entry.message);
    }
    return sequence;
}
