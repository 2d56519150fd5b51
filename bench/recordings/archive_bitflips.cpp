// Flips single bits of a 20-recording archive and counts what reading it then costs: how many
// flips read every recording, cost one, cost more, or leave nothing readable (the file set aside).
// Flips inside the objects and in the file's frame (header, offset table, trailer) are counted
// apart. "Whole file lost before" counts the flips after which a reader that gives up on the
// first unreadable recording would have set the whole file aside.
//
//   archive_bitflips [flips inside the objects, 4000 by default] [seed]

#include "recordings/KPRecordingsArchive.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <cstdio>

namespace {

constexpr int kRecordings = 20;

QList<KPPianoRecording> twentyRecordings()
{
    const QStringList banks = {"Grand Piano",    "Music Box", "Ahh Choir",
                               "Electric Piano", "Accordion", "Banjo"};
    QList<KPPianoRecording> recordings;
    for (int r = 0; r < kRecordings; ++r) {
        KPPianoRecording recording;
        recording.soundBankName = banks[r % banks.size()];
        recording.recordingDate = QDateTime::fromMSecsSinceEpoch(1765000000000 + r * 60000LL);
        if (r % 3 != 0)
            recording.recordingName = QStringLiteral("Take %1").arg(r + 1);
        for (int i = 0; i < 40 + r * 3; ++i)
            recording.actions.append(
                {(r * 5 + i * 7) % 84,
                 i % 2 ? KPRecordedKeyState::Released : KPRecordedKeyState::Pressed,
                 float(i) * 0.173f, uint8_t(i % 2 ? 127 : 40 + i % 80)});
        recordings.append(recording);
    }
    return recordings;
}

uint64_t bigEndian(const QByteArray& bytes, qsizetype at, int width)
{
    uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

struct Counts
{
    int flips = 0;
    int readWhole = 0;
    int lostOne = 0;
    int lostMore = 0;
    int lostFile = 0;
    int lostFileBefore = 0;

    void add(const QByteArray& damaged)
    {
        ++flips;
        int unreadable = 0;
        const auto read = KPRecordingsArchive::decode(damaged, nullptr, &unreadable);
        if (!read) {
            ++lostFile;
            ++lostFileBefore;
            return;
        }
        const qsizetype missing = kRecordings - read->size();
        lostFileBefore += unreadable > 0;
        if (missing == 0)
            ++readWhole;
        else if (missing == 1)
            ++lostOne;
        else
            ++lostMore;
    }
    void print(const char* where) const
    {
        std::printf("%-8s flips %5d  all read %5d  one lost %5d  more lost %4d  file lost %4d  "
                    "at most one lost %5.1f %%  (file lost before: %d)\n",
                    where, flips, readWhole, lostOne, lostMore, lostFile,
                    flips ? 100.0 * (readWhole + lostOne) / flips : 0.0, lostFileBefore);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    // Every damaged event would say so: only the counts are wanted.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QStringList arguments = QCoreApplication::arguments();
    const int flips = arguments.size() > 1 ? arguments[1].toInt() : 4000;
    QRandomGenerator random(arguments.size() > 2 ? arguments[2].toUInt() : 26);

    const QByteArray archive = KPRecordingsArchive::encode(twentyRecordings());
    // The trailer's last 32 bytes: sizes of offsets and references, counts, the table's place.
    const qsizetype trailer = archive.size() - 32;
    const qsizetype table = qsizetype(bigEndian(archive, trailer + 24, 8));
    std::printf("archive of %d recordings: %lld bytes, objects in bytes 8 to %lld\n", kRecordings,
                qlonglong(archive.size()), qlonglong(table));

    Counts objects;
    for (int i = 0; i < flips; ++i) {
        QByteArray damaged = archive;
        const qsizetype bit = 8 * 8 + qsizetype(random.bounded(quint64(8 * (table - 8))));
        damaged[bit / 8] = char(damaged[bit / 8] ^ (1 << (bit % 8)));
        objects.add(damaged);
    }
    Counts frame;
    for (qsizetype bit = 0; bit < 8 * archive.size(); ++bit) {
        if (bit >= 8 * 8 && bit < 8 * table)
            continue;
        QByteArray damaged = archive;
        damaged[bit / 8] = char(damaged[bit / 8] ^ (1 << (bit % 8)));
        frame.add(damaged);
    }
    objects.print("objects");
    frame.print("frame");
    return 0;
}
