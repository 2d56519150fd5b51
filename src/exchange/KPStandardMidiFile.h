#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// Standard MIDI Files: writing a type 0 file and reading type 0 and 1 files of any division,
// with tempo changes turned into seconds. Reading never trusts a length or count in the file:
// every step is bounded by the bytes that remain, so a broken or hostile file fails with a
// reason instead of crashing, hanging or allocating beyond its own size.
class KPStandardMidiFile
{
public:
    // A channel message at a time in seconds: note on (0x9n), note off (0x8n), program change
    // (0xCn, data2 unused), control change (0xBn) and the like.
    struct Message
    {
        double seconds = 0.0;
        uint8_t status = 0;
        uint8_t data1 = 0;
        uint8_t data2 = 0;
        friend bool operator==(const Message&, const Message&) = default;
    };

    struct Sequence
    {
        QString trackName;       // the first track name met, if any
        QList<Message> messages; // all tracks merged, in time order (stable per track)
    };

    static constexpr int ticksPerQuarter = 960;
    static constexpr int beatsPerMinute = 120;

    // A type 0 file at 120 beats per minute, 960 ticks a quarter: the track name, the messages
    // (in time order) and the end of the track.
    [[nodiscard]] static QByteArray writeType0(const QString& trackName,
                                               const QList<Message>& messages);
    [[nodiscard]] static std::optional<Sequence> read(const QByteArray& data,
                                                      QString* error = nullptr);
};
