#include "platform/KPPropertyList.h"
#include "recordings/KPRecordingsArchive.h"

#include <QRandomGenerator>
#include <QtTest>

#include <functional>

namespace {

using Recordings = QList<KPPianoRecording>;

KPPianoKeyAction action(int32_t index, KPRecordedKeyState state, float interval,
                        uint8_t velocity = KPPianoKeyAction::kFullVelocity)
{
    return KPPianoKeyAction{index, state, interval, velocity};
}

KPPianoRecording recording(int events, const QString& bank, std::optional<QString> name,
                           qint64 msecs = 1765000000000)
{
    KPPianoRecording result{{}, bank, QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC), name};
    for (int i = 0; i < events; ++i) {
        const auto state = i % 2 ? KPRecordedKeyState::Released : KPRecordedKeyState::Pressed;
        result.actions.append(action((i * 7) % 84, state, float(i) * 0.137f));
    }
    return result;
}

plist_t uid(uint64_t value)
{
    return plist_new_uid(value);
}

// A keyed archive put together node by node with libplist, laid out as the platform's archiver
// writes one: "$null" first, every object a dictionary naming its class description.
class PlatformArchive
{
public:
    PlatformArchive() : m_objects(plist_new_array()) { add(plist_new_string("$null")); }

    uint64_t add(plist_t node)
    {
        plist_array_append_item(m_objects.get(), node);
        return plist_array_get_size(m_objects.get()) - 1;
    }
    uint64_t classFor(const QList<const char*>& chain)
    {
        plist_t classes = plist_new_array();
        for (const char* name : chain)
            plist_array_append_item(classes, plist_new_string(name));
        plist_t description = plist_new_dict();
        plist_dict_set_item(description, "$classname", plist_new_string(chain.first()));
        plist_dict_set_item(description, "$classes", classes);
        return add(description);
    }
    // A dictionary with "$class" and the given entries (each a new node).
    uint64_t object(uint64_t classUid, const QList<std::pair<const char*, plist_t>>& entries)
    {
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "$class", uid(classUid));
        for (const auto& [key, value] : entries)
            plist_dict_set_item(dict, key, value);
        return add(dict);
    }
    uint64_t array(uint64_t classUid, const QList<uint64_t>& items)
    {
        plist_t refs = plist_new_array();
        for (uint64_t item : items)
            plist_array_append_item(refs, uid(item));
        return object(classUid, {{"NS.objects", refs}});
    }
    QByteArray bytes(plist_t root, const char* archiver = "NSKeyedArchiver",
                     uint64_t version = 100000)
    {
        KPPlistPtr top(plist_new_dict());
        plist_t topObjects = plist_new_dict();
        if (root)
            plist_dict_set_item(topObjects, "root", root);
        plist_dict_set_item(top.get(), "$archiver", plist_new_string(archiver));
        plist_dict_set_item(top.get(), "$objects", plist_copy(m_objects.get()));
        plist_dict_set_item(top.get(), "$top", topObjects);
        plist_dict_set_item(top.get(), "$version", plist_new_uint(version));
        char* data = nullptr;
        uint32_t length = 0;
        plist_to_bin(top.get(), &data, &length);
        QByteArray result(data, length);
        plist_to_bin_free(data);
        return result;
    }

private:
    KPPlistPtr m_objects;
};

// One recording of two key events in the platform's layout, the first with a velocity;
// `variant` picks the alternative spellings the platform also writes.
QByteArray platformRecordingArchive(bool variant)
{
    PlatformArchive archive;
    const uint64_t listClass = variant ? archive.classFor({"NSMutableArray", "NSArray", "NSObject"})
                                       : archive.classFor({"NSArray", "NSObject"});
    const uint64_t recordingClass = archive.classFor({"KPPianoRecording", "NSObject"});
    const uint64_t actionClass = archive.classFor({"KPPianoKeyAction", "NSObject"});
    const uint64_t dateClass = archive.classFor({"NSDate", "NSObject"});
    const uint64_t stringClass = archive.classFor({"NSMutableString", "NSString", "NSObject"});
    // Numbers as entries of "$objects" behind a UID, or stored in the dictionary itself.
    const auto number = [&](plist_t value) {
        return variant ? value : uid(archive.add(value));
    };
    const uint64_t first = archive.object(actionClass, {{"index", number(plist_new_uint(39))},
                                                        {"state", number(plist_new_uint(0))},
                                                        {"interval", number(plist_new_real(0.0))},
                                                        {"velocity", number(plist_new_uint(100))}});
    const uint64_t second =
        archive.object(actionClass, {{"index", number(plist_new_uint(39))},
                                     {"state", number(plist_new_uint(1))},
                                     {"interval", number(plist_new_real(1.25))}});
    const uint64_t actions = archive.array(listClass, {first, second});
    const uint64_t date = archive.object(
        dateClass,
        {{"NS.time", variant ? plist_new_uint(786000000) : plist_new_real(786000000.5)}});
    const uint64_t name =
        variant ? archive.object(stringClass, {{"NS.string", plist_new_string("Étude")}})
                : archive.add(plist_new_string("Étude"));
    const uint64_t recording = archive.object(
        recordingClass, {{"actions", uid(actions)},
                         {"soundbankname", uid(archive.add(plist_new_string("Banjo")))},
                         {"recordingdate", uid(date)},
                         {"recordingname", uid(name)}});
    return archive.bytes(uid(archive.array(listClass, {recording})));
}

} // namespace

class KPRecordingsArchiveTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void writesThePlatformLayout();
    void readsThePlatformLayout_data();
    void readsThePlatformLayout();
    void rejectsBadArchives_data();
    void rejectsBadArchives();
    void survivesMutatedArchives();
    void velocitiesOutOfRangeAreBroughtIn();
    void aBadEventIsLeftOutAndItsRecordingKept_data();
    void aBadEventIsLeftOutAndItsRecordingKept();
    void readsWhatAnotherArchiverWrote_data();
    void readsWhatAnotherArchiverWrote();
};

void KPRecordingsArchiveTest::roundTrip_data()
{
    QTest::addColumn<Recordings>("recordings");
    QTest::newRow("empty list") << Recordings{};
    QTest::newRow("nil name, interval 1.25")
        << Recordings{{{action(12, KPRecordedKeyState::Pressed, 1.25f)},
                       "Grand Piano",
                       QDateTime::fromMSecsSinceEpoch(1765000000123, Qt::UTC),
                       std::nullopt}};
    QTest::newRow("velocities below full, and full")
        << Recordings{{{action(12, KPRecordedKeyState::Pressed, 0.0f, 1),
                        action(13, KPRecordedKeyState::Pressed, 0.5f, 100),
                        action(14, KPRecordedKeyState::Pressed, 0.75f)},
                       "Grand Piano",
                       QDateTime::fromMSecsSinceEpoch(1765000000123, Qt::UTC),
                       std::nullopt}};
    QTest::newRow("order, empty and non-ASCII names")
        << Recordings{recording(5, "Banjo", "Für Elise ♪"), recording(1, "Music Box", ""),
                      recording(20, "Ahh Choir", std::nullopt, 978307199000)};
    // Enough objects that references take four bytes and counts follow their markers.
    QTest::newRow("wide references") << Recordings(100, recording(300, "Accordion", "long"));
}

void KPRecordingsArchiveTest::roundTrip()
{
    QFETCH(Recordings, recordings);
    // Events that could not be played are left out rather than spoil the archive.
    Recordings withUnplayable = recordings;
    for (KPPianoRecording& saved : withUnplayable) {
        saved.actions.append(action(84, KPRecordedKeyState::Pressed, 1.0f));
        saved.actions.prepend(action(1, KPRecordedKeyState::Pressed, NAN));
    }
    const QByteArray bytes = KPRecordingsArchive::encode(withUnplayable);
    QVERIFY(!bytes.isEmpty());
    QString error;
    const auto decoded = KPRecordingsArchive::decode(bytes, &error);
    QVERIFY2(decoded, qPrintable(error));
    QCOMPARE(*decoded, recordings);
}

// Our archive read by libplist: the layout another reader of keyed archives expects.
void KPRecordingsArchiveTest::writesThePlatformLayout()
{
    const Recordings recordings{{{action(3, KPRecordedKeyState::Released, 1.25f)},
                                 "Banjo",
                                 QDateTime::fromMSecsSinceEpoch(978307202500, Qt::UTC),
                                 std::nullopt}};
    const KPPlistPtr top = KPPropertyList::fromData(KPRecordingsArchive::encode(recordings));
    QVERIFY(top);
    const QVariantMap map = KPPropertyList::toVariant(top.get()).toMap();
    QCOMPARE(map.value("$archiver"), QVariant("NSKeyedArchiver"));
    QCOMPARE(map.value("$version"), QVariant(qint64(100000)));

    plist_t objects = plist_dict_get_item(top.get(), "$objects");
    const auto object = [&](plist_t reference) {
        uint64_t index = 0;
        plist_get_uid_val(reference, &index);
        return plist_array_get_item(objects, uint32_t(index));
    };
    const auto classes = [&](plist_t dict) {
        return KPPropertyList::toVariant(object(plist_dict_get_item(dict, "$class")))
            .toMap()
            .value("$classes");
    };
    QCOMPARE(KPPropertyList::stringValue(plist_array_get_item(objects, 0)), "$null");
    plist_t root = object(plist_dict_get_item(plist_dict_get_item(top.get(), "$top"), "root"));
    QCOMPARE(classes(root), QVariant(QVariantList{"NSArray", "NSObject"}));
    plist_t saved = object(plist_array_get_item(plist_dict_get_item(root, "NS.objects"), 0));
    QCOMPARE(classes(saved), QVariant(QVariantList{"KPPianoRecording", "NSObject"}));
    QCOMPARE(KPPropertyList::stringValue(object(plist_dict_get_item(saved, "soundbankname"))),
             "Banjo");
    QCOMPARE(object(plist_dict_get_item(saved, "recordingname")), plist_array_get_item(objects, 0));
    plist_t date = object(plist_dict_get_item(saved, "recordingdate"));
    QCOMPARE(classes(date), QVariant(QVariantList{"NSDate", "NSObject"}));
    QCOMPARE(KPPropertyList::toVariant(plist_dict_get_item(date, "NS.time")), QVariant(2.5));
    plist_t actions = object(plist_dict_get_item(saved, "actions"));
    plist_t event = object(plist_array_get_item(plist_dict_get_item(actions, "NS.objects"), 0));
    QCOMPARE(classes(event), QVariant(QVariantList{"KPPianoKeyAction", "NSObject"}));
    QCOMPARE(KPPropertyList::toVariant(object(plist_dict_get_item(event, "index"))),
             QVariant(qint64(3)));
    QCOMPARE(KPPropertyList::toVariant(object(plist_dict_get_item(event, "state"))),
             QVariant(qint64(1)));
    QCOMPARE(KPPropertyList::toVariant(object(plist_dict_get_item(event, "interval"))),
             QVariant(1.25));
    // A press at full velocity is written as one always was.
    QVERIFY(!plist_dict_get_item(event, "velocity"));
}

void KPRecordingsArchiveTest::readsThePlatformLayout_data()
{
    QTest::addColumn<bool>("variant");
    QTest::addColumn<qint64>("msecs");
    QTest::newRow("arrays, plain strings, numbers behind UIDs") << false << qint64(1764307200500);
    QTest::newRow("mutable arrays, string objects, numbers inline")
        << true << qint64(1764307200000);
}

void KPRecordingsArchiveTest::readsThePlatformLayout()
{
    QFETCH(bool, variant);
    QFETCH(qint64, msecs);
    QString error;
    const auto decoded = KPRecordingsArchive::decode(platformRecordingArchive(variant), &error);
    QVERIFY2(decoded, qPrintable(error));
    const Recordings expected{{{action(39, KPRecordedKeyState::Pressed, 0.0f, 100),
                                action(39, KPRecordedKeyState::Released, 1.25f)},
                               "Banjo",
                               QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC),
                               "Étude"}};
    QCOMPARE(*decoded, expected);
}

void KPRecordingsArchiveTest::rejectsBadArchives_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // False where only the recordings that hold the fault are lost.
    QTest::addColumn<bool>("wholeFile");
    const QByteArray good = KPRecordingsArchive::encode({recording(4, "Banjo", "x")});
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("text") << QByteArray("recordings, not an archive") << true;
    QTest::newRow("truncated") << good.left(good.size() / 2) << true;
    QTest::newRow("trailer only") << good.right(40) << true;

    // Built from the platform's layout, each with one thing wrong.
    const auto build = [](const std::function<plist_t(PlatformArchive&)>& make,
                          const char* archiver = "NSKeyedArchiver", uint64_t version = 100000) {
        PlatformArchive archive;
        plist_t root = make(archive);
        return archive.bytes(root, archiver, version);
    };
    const auto recordingWith = [](PlatformArchive& a, const char* key, plist_t value) {
        const uint64_t list = a.classFor({"NSArray", "NSObject"});
        const uint64_t saved =
            a.object(a.classFor({"KPPianoRecording", "NSObject"}), {{key, value}});
        return uid(a.array(list, {saved}));
    };
    const auto actionWith = [&](PlatformArchive& a, const char* key, plist_t value) {
        const uint64_t list = a.classFor({"NSArray", "NSObject"});
        const uint64_t event =
            a.object(a.classFor({"KPPianoKeyAction", "NSObject"}), {{key, value}});
        return recordingWith(a, "actions", uid(a.array(list, {event})));
    };
    QTest::newRow("other archiver")
        << build([](PlatformArchive&) { return nullptr; }, "Other") << true;
    QTest::newRow("other version")
        << build([](PlatformArchive&) { return nullptr; }, "NSKeyedArchiver", 99) << true;
    QTest::newRow("root beyond the objects")
        << build([](PlatformArchive&) { return uid(7); }) << true;
    QTest::newRow("root not a list")
        << build([](PlatformArchive& a) { return uid(a.add(plist_new_string("recordings"))); })
        << true;
    QTest::newRow("class not accepted") << build([](PlatformArchive& a) {
        const uint64_t other = a.object(a.classFor({"NSURL", "NSObject"}), {});
        return uid(a.array(a.classFor({"NSArray", "NSObject"}), {other}));
    }) << false;
    // Cycles: each object refers to the UID it is about to be given.
    QTest::newRow("list holding itself") << build([](PlatformArchive& a) {
        const uint64_t list = a.classFor({"NSArray", "NSObject"});
        return uid(a.array(list, {list + 1}));
    }) << false;
    QTest::newRow("recording whose actions are itself") << build([](PlatformArchive& a) {
        const uint64_t list = a.classFor({"NSArray", "NSObject"});
        const uint64_t saved = a.classFor({"KPPianoRecording", "NSObject"}) + 1;
        a.object(saved - 1, {{"actions", uid(saved)}});
        return uid(a.array(list, {saved}));
    }) << false;
    QTest::newRow("name not a string") << build([&](PlatformArchive& a) {
        return recordingWith(a, "recordingname", plist_new_uint(5));
    }) << false;
    QTest::newRow("date without time") << build([&](PlatformArchive& a) {
        return recordingWith(a, "recordingdate",
                             uid(a.object(a.classFor({"NSDate", "NSObject"}), {})));
    }) << false;
    QTest::newRow("index a string")
        << build([&](PlatformArchive& a) { return actionWith(a, "index", plist_new_string("3")); })
        << false;
    QTest::newRow("reference beyond the objects")
        << build([&](PlatformArchive& a) { return actionWith(a, "state", uid(1000)); }) << false;
    // A thousand references to one recording of a thousand references to one event: a small
    // file that would unfold into a million events.
    QTest::newRow("shared references unfolding") << build([](PlatformArchive& a) {
        const uint64_t list = a.classFor({"NSArray", "NSObject"});
        const uint64_t event = a.object(a.classFor({"KPPianoKeyAction", "NSObject"}), {});
        const uint64_t actions = a.array(list, QList<uint64_t>(1000, event));
        const uint64_t saved =
            a.object(a.classFor({"KPPianoRecording", "NSObject"}), {{"actions", uid(actions)}});
        return uid(a.array(list, QList<uint64_t>(1000, saved)));
    }) << false;

    // One dictionary whose count, an eight-byte integer after its marker, claims 2^40 entries.
    QByteArray huge = "bplist00" + QByteArray::fromHex("df130000010000000000"
                                                       "08");
    huge +=
        QByteArray(6, '\0') + QByteArray::fromHex("0101") + QByteArray::fromHex("0000000000000001");
    huge += QByteArray(8, '\0') + QByteArray::fromHex("0000000000000012");
    QTest::newRow("huge count") << huge << true;
}

void KPRecordingsArchiveTest::rejectsBadArchives()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, wholeFile);
    QString error;
    int unreadable = 0;
    const auto decoded = KPRecordingsArchive::decode(bytes, &error, &unreadable);
    QCOMPARE(!decoded, wholeFile);
    QCOMPARE(unreadable > 0, !wholeFile);
    QVERIFY(!error.isEmpty());
}

// Random damage to a good archive: every result is either a list that writes and reads back
// unchanged, or a failure with its reason; never a crash.
void KPRecordingsArchiveTest::survivesMutatedArchives()
{
    const QByteArray good = KPRecordingsArchive::encode(
        {recording(6, "Banjo", "a"), recording(3, "Music Box", std::nullopt)});
    QRandomGenerator random(20261207);
    int rejected = 0;
    for (int i = 0; i < 4000; ++i) {
        QByteArray bytes = good;
        for (int changes = 1 + random.bounded(4); changes > 0; --changes) {
            const qsizetype at = random.bounded(bytes.size());
            switch (random.bounded(3)) {
            case 0:
                bytes[at] = char(random.bounded(256));
                break;
            case 1:
                bytes[at] = char(bytes[at] ^ (1 << random.bounded(8)));
                break;
            default:
                bytes.remove(at, random.bounded(1, 9));
                break;
            }
        }
        QString error;
        const auto decoded = KPRecordingsArchive::decode(bytes, &error);
        if (!decoded) {
            QVERIFY(!error.isEmpty());
            ++rejected;
            continue;
        }
        QCOMPARE(KPRecordingsArchive::decode(KPRecordingsArchive::encode(*decoded)), decoded);
    }
    QVERIFY(rejected > 0);
}

// A damaged velocity still plays: below 1 as the softest press, above 127 as a full one.
void KPRecordingsArchiveTest::velocitiesOutOfRangeAreBroughtIn()
{
    PlatformArchive archive;
    const uint64_t listClass = archive.classFor({"NSArray", "NSObject"});
    const uint64_t recordingClass = archive.classFor({"KPPianoRecording", "NSObject"});
    const uint64_t actionClass = archive.classFor({"KPPianoKeyAction", "NSObject"});
    QList<uint64_t> actions;
    for (const int64_t velocity : {0, -5, 128, 100000})
        actions << archive.object(actionClass, {{"index", plist_new_uint(5)},
                                                {"velocity", plist_new_uint(uint64_t(velocity))}});
    const uint64_t recording =
        archive.object(recordingClass, {{"actions", uid(archive.array(listClass, actions))}});
    const auto decoded =
        KPRecordingsArchive::decode(archive.bytes(uid(archive.array(listClass, {recording}))));
    QVERIFY(decoded);
    QList<int> velocities;
    for (const KPPianoKeyAction& action : decoded->first().actions)
        velocities << action.velocity;
    QCOMPARE(velocities, (QList<int>{1, 1, 127, 127}));
}

void KPRecordingsArchiveTest::aBadEventIsLeftOutAndItsRecordingKept_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<double>("value");
    QTest::newRow("index beyond the keyboard") << QByteArray("index") << 84.0;
    QTest::newRow("negative index") << QByteArray("index") << -1.0;
    QTest::newRow("interval not finite") << QByteArray("interval") << 1e300;
}

// One event that cannot be played costs that event, not the list.
void KPRecordingsArchiveTest::aBadEventIsLeftOutAndItsRecordingKept()
{
    QFETCH(QByteArray, key);
    QFETCH(double, value);
    PlatformArchive a;
    const uint64_t list = a.classFor({"NSArray", "NSObject"});
    const uint64_t actionClass = a.classFor({"KPPianoKeyAction", "NSObject"});
    const uint64_t good = a.object(actionClass, {{"index", plist_new_uint(5)}});
    const plist_t bad = key == "interval" ? plist_new_real(value) : plist_new_uint(uint64_t(value));
    const uint64_t damaged = a.object(actionClass, {{key.constData(), bad}});
    const uint64_t saved = a.object(a.classFor({"KPPianoRecording", "NSObject"}),
                                    {{"actions", uid(a.array(list, {good, damaged}))}});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("left out key event"));
    const auto decoded = KPRecordingsArchive::decode(a.bytes(uid(a.array(list, {saved}))));
    QVERIFY(decoded);
    QCOMPARE(decoded->size(), 1);
    QCOMPARE(decoded->first().actions, QList<KPPianoKeyAction>{action(5, {}, 0.0f)});
}

void KPRecordingsArchiveTest::readsWhatAnotherArchiverWrote_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("binary, plain dates") << "recordings-binary";
    QTest::newRow("XML") << "recordings-xml";
}

// Archives written by GNUstep Base's keyed archiver (see data/gnustep).
void KPRecordingsArchiveTest::readsWhatAnotherArchiverWrote()
{
    QFETCH(QString, file);
    QFile archive(QStringLiteral(KP_TEST_DATA_DIR "/gnustep/") + file);
    QVERIFY(archive.open(QIODevice::ReadOnly));
    QString error;
    const auto decoded = KPRecordingsArchive::decode(archive.readAll(), &error);
    QVERIFY2(decoded, qPrintable(error));
    QCOMPARE(decoded->size(), 2);
    const KPPianoRecording& named = decoded->at(0);
    QCOMPARE(named.recordingName, QStringLiteral("Étude"));
    QCOMPARE(named.soundBankName, QStringLiteral("Music Box"));
    QCOMPARE(named.recordingDate, QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC));
    QCOMPARE(named.actions.size(), 4);
    QCOMPARE(named.actions[2], action(60, KPRecordedKeyState::Pressed, 1.25f));
    QCOMPARE(decoded->at(1).recordingName, std::nullopt);
    QCOMPARE(decoded->at(1).actions.last(), action(83, KPRecordedKeyState::Released, 0.25f));
}

QTEST_GUILESS_MAIN(KPRecordingsArchiveTest)
#include "tst_recordingsarchive.moc"
