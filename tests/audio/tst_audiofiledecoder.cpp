#include "KPAudioTestRig.h"

#include "audio/KPAudioFileDecoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>

using namespace KPAudioTest;

class KPAudioFileDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decode_data();
    void decode();

private:
    bool writeTruncatedCopy(const QString& from, const QString& to, qint64 keepBytes);
    bool writeSilentWaveHeader(const QString& path, qint64 dataBytes);

    QTemporaryDir m_dir;
    std::map<QString, Tone> m_tones;
};

// A canonical 44-byte header of 16-bit stereo at 44100 Hz, then `dataBytes` of zeros that take no
// disk space (the file is extended, not written).
bool KPAudioFileDecoderTest::writeSilentWaveHeader(const QString& path, qint64 dataBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray header;
    auto u32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            header.append(char((v >> (8 * i)) & 0xff));
    };
    auto u16 = [&](quint16 v) {
        header.append(char(v & 0xff));
        header.append(char(v >> 8));
    };
    header.append("RIFF");
    u32(quint32(36 + dataBytes));
    header.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    header.append("data");
    u32(quint32(dataBytes));
    return file.write(header) == header.size() && file.resize(header.size() + dataBytes);
}

bool KPAudioFileDecoderTest::writeTruncatedCopy(const QString& from, const QString& to,
                                                qint64 keepBytes)
{
    QFile source(from);
    QFile target(to);
    return source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly) &&
           target.write(source.read(keepBytes)) == keepBytes;
}

void KPAudioFileDecoderTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    Tone mono;
    mono.seconds = 0.1;
    Tone stereo = mono;
    stereo.sampleRate = 22050;
    stereo.channelGains = {1.0, -0.5};
    Tone mono24 = mono;
    mono24.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    Tone floating = mono;
    floating.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    floating.amplitude = 0.9;
    Tone loudFloat = floating;
    loudFloat.amplitude = 1.5;
    Tone flac = mono;
    flac.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    Tone mp3 = mono;
    mp3.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    Tone three = mono;
    three.channelGains = {1.0, 1.0, 1.0};
    Tone longer = mono;
    longer.seconds = 1000.0 / 44100;

    m_tones = {{"mono.wav", mono},         {"stereo.wav", stereo},        {"mono24.wav", mono24},
               {"float.wav", floating},    {"loud_float.wav", loudFloat}, {"flac.wav", flac},
               {"click.mp3", mp3},         {"three.wav", three},          {"whole.wav", longer},
               {"whole_flac.flac", longer}};
    m_tones["whole_flac.flac"].format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    for (const auto& [name, tone] : m_tones)
        QVERIFY2(writeTone(m_dir.filePath(name), tone), qPrintable(name));
    // The header promises 1000 frames; the file ends after 500 of them.
    QVERIFY(writeTruncatedCopy(m_dir.filePath("whole.wav"), m_dir.filePath("truncated.wav"),
                               44 + 500 * 2));
    m_tones["truncated.wav"] = longer;
    const qint64 flacSize = QFileInfo(m_dir.filePath("whole_flac.flac")).size();
    QVERIFY(writeTruncatedCopy(m_dir.filePath("whole_flac.flac"),
                               m_dir.filePath("truncated_flac.wav"), flacSize / 2));
    QFile text(m_dir.filePath("text.wav"));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a sound at all\n") > 0);
    text.close();
    QVERIFY(writeSilentWaveHeader(m_dir.filePath("at_limit.wav"), kKPMaximumSampleDataSize));
    QVERIFY(writeSilentWaveHeader(m_dir.filePath("over_limit.wav"), kKPMaximumSampleDataSize + 4));
}

void KPAudioFileDecoderTest::decode_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("sampleRate");
    // Largest difference from the written tone, in 16-bit steps; -1: content not compared.
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<QString>("message");

    const QString none;
    const QString openFailed =
        QStringLiteral("LoadAudioFileData: ExtAudioFileOpenURL FAILED, Error = ");
    QTest::newRow("mono 16-bit") << QStringLiteral("mono.wav") << qint64(4410 * 2)
                                 << AL_FORMAT_MONO16 << 44100 << 1 << none;
    QTest::newRow("stereo at its own rate") << QStringLiteral("stereo.wav") << qint64(2205 * 4)
                                            << AL_FORMAT_STEREO16 << 22050 << 1 << none;
    QTest::newRow("24-bit to 16-bit") << QStringLiteral("mono24.wav") << qint64(4410 * 2)
                                      << AL_FORMAT_MONO16 << 44100 << 1 << none;
    QTest::newRow("floating point at its level") << QStringLiteral("float.wav") << qint64(4410 * 2)
                                                 << AL_FORMAT_MONO16 << 44100 << 1 << none;
    QTest::newRow("floating point beyond full scale clips")
        << QStringLiteral("loud_float.wav") << qint64(4410 * 2) << AL_FORMAT_MONO16 << 44100 << -1
        << none;
    QTest::newRow("FLAC inside a .wav name")
        << QStringLiteral("flac.wav") << qint64(4410 * 2) << AL_FORMAT_MONO16 << 44100 << 1 << none;
    QTest::newRow("MP3") << QStringLiteral("click.mp3") << qint64(-1) << AL_FORMAT_MONO16 << 44100
                         << -1 << none;
    QTest::newRow("three channels")
        << QStringLiteral("three.wav") << qint64(0) << 0 << 0 << -1
        << QStringLiteral(
               "LoadAudioFileData: Unsupported format, channel count is greater than stereo\n");
    QTest::newRow("missing file") << QStringLiteral("missing.wav") << qint64(0) << 0 << 0 << -1
                                  << openFailed;
    QTest::newRow("not a sound file")
        << QStringLiteral("text.wav") << qint64(0) << 0 << 0 << -1 << openFailed;
    QTest::newRow("truncated WAV gives what is there")
        << QStringLiteral("truncated.wav") << qint64(500 * 2) << AL_FORMAT_MONO16 << 44100 << 1
        << none;
    QTest::newRow("truncated FLAC is a read error")
        << QStringLiteral("truncated_flac.wav") << qint64(0) << 0 << 0 << -1
        << QStringLiteral("LoadAudioFileData: ExtAudioFileRead FAILED, Error = ");
    QTest::newRow("exactly 64 MiB of PCM")
        << QStringLiteral("at_limit.wav") << qint64(kKPMaximumSampleDataSize) << AL_FORMAT_STEREO16
        << 44100 << -1 << none;
    QTest::newRow("more than 64 MiB of PCM")
        << QStringLiteral("over_limit.wav") << qint64(0) << 0 << 0 << -1
        << QStringLiteral(
               "LoadAudioFileData: File too large, 16777217 frames exceed the limit of 67108864 "
               "bytes\n");
}

void KPAudioFileDecoderTest::decode()
{
    QFETCH(QString, fileName);
    QFETCH(qint64, size);
    QFETCH(int, format);
    QFETCH(int, sampleRate);
    QFETCH(int, tolerance);
    QFETCH(QString, message);

    int64_t outSize = -7;
    ALenum outFormat = -7;
    ALsizei outRate = -7;
    KPSampleData data;
    QString printed;
    {
        StdoutCapture capture;
        data = LoadAudioFileData(m_dir.filePath(fileName), outSize, outFormat, outRate);
        printed = capture.text();
    }

    if (format == 0) {
        QVERIFY(!data);
        QVERIFY2(printed.startsWith(message), qPrintable(printed));
        QCOMPARE(printed.count(u'\n'), 1);
        return;
    }
    QVERIFY2(data, qPrintable(printed));
    QCOMPARE(printed, QString());
    QCOMPARE(int(outFormat), format);
    QCOMPARE(int(outRate), sampleRate);
    if (size >= 0)
        QCOMPARE(qint64(outSize), size);
    else
        QVERIFY(outSize > 0);

    const int channels = format == AL_FORMAT_STEREO16 ? 2 : 1;
    const long frames = long(outSize / (2 * channels));
    if (tolerance >= 0) {
        const Tone& tone = m_tones.at(fileName);
        int worst = 0;
        for (long frame = 0; frame < frames; ++frame) {
            for (int channel = 0; channel < channels; ++channel) {
                const double expected = toneValue(tone, channel, frame) * 32768.0;
                const int16_t got = data[size_t(frame * channels + channel)];
                worst = std::max(worst, int(std::lround(std::abs(got - expected))));
            }
        }
        QVERIFY2(worst <= tolerance, qPrintable(QStringLiteral("off by %1").arg(worst)));
    } else if (fileName == u"loud_float.wav") {
        const auto [low, high] = std::minmax_element(data.get(), data.get() + frames);
        QCOMPARE(int(*low), -32768);
        QCOMPARE(int(*high), 32767);
    }
}

QTEST_GUILESS_MAIN(KPAudioFileDecoderTest)
#include "tst_audiofiledecoder.moc"
