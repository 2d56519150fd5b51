#include "keyboard/KPImageView.h"
#include "keyboard/KPPianoKey.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "ui/KPImages.h"

#include "KPTestClock.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QTest>

Q_DECLARE_METATYPE(KPIdiom)

using namespace std::chrono_literals;

namespace {

// What a key shows: "up", "down", or "none" when both pictures are hidden.
QString look(const KPPianoKey& key)
{
    const qreal up = key.upImageView()->alpha();
    const qreal down = key.downImageView()->alpha();
    if (up == 1.0 && down == 0.0)
        return QStringLiteral("up");
    if (up == 0.0 && down == 1.0)
        return QStringLiteral("down");
    if (up == 0.0 && down == 0.0)
        return QStringLiteral("none");
    return QStringLiteral("up %1 down %2").arg(up).arg(down);
}

} // namespace

class TestPianoKey : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void sizeForKeyType_data();
    void sizeForKeyType();
    void pictures_data();
    void pictures();
    void label_data();
    void label();
    void takesNoInput();
    void stateChanges_data();
    void stateChanges();
    void pressedLookLastsATenth();
    void pressWithinReleaseLookNeverShowsReleased();
};

void TestPianoKey::cleanup()
{
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
}

void TestPianoKey::sizeForKeyType_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<uint32_t>("type");
    QTest::addColumn<QString>("image");
    QTest::newRow("phone white") << KPIdiom::Phone << 0u << "white_key_up";
    QTest::newRow("phone black") << KPIdiom::Phone << 1u << "black_key_up";
    QTest::newRow("tablet white") << KPIdiom::Pad << 0u << "white_key_up-ipad";
    QTest::newRow("tablet black") << KPIdiom::Pad << 1u << "black_key_up-ipad";
    QTest::newRow("other device uses the phone pictures") << KPIdiom::Other << 0u << "white_key_up";
    QTest::newRow("type 2 has no size") << KPIdiom::Phone << 2u << "";
    QTest::newRow("type 2 on a tablet") << KPIdiom::Pad << 2u << "";
}

void TestPianoKey::sizeForKeyType()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(uint32_t, type);
    QFETCH(QString, image);
    KPDeviceIdiom::setCurrent(idiom);
    const QSizeF size = KPPianoKey::sizeForKeyType(type);
    if (image.isEmpty()) {
        QCOMPARE(size, QSizeF(0, 0));
        return;
    }
    QVERIFY2(!KPImages::named(image).isNull(), qPrintable(image + " is missing"));
    QCOMPARE(size, QSizeF(KPImages::sizeOf(image)));

    KPPianoKey key(type);
    QCOMPARE(key.geometry(), QRect(QPoint(0, 0), size.toSize()));
}

void TestPianoKey::pictures_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<uint32_t>("type");
    QTest::addColumn<QString>("up");
    QTest::addColumn<QString>("down");
    QTest::newRow("phone white") << KPIdiom::Phone << 0u << "white_key_up"
                                 << "white_key_down";
    QTest::newRow("phone black") << KPIdiom::Phone << 1u << "black_key_up"
                                 << "black_key_down";
    QTest::newRow("tablet white") << KPIdiom::Pad << 0u << "white_key_up-ipad"
                                  << "white_key_down-ipad";
    QTest::newRow("tablet black") << KPIdiom::Pad << 1u << "black_key_up-ipad"
                                  << "black_key_down-ipad";
}

// The released picture shows, the pressed one lies hidden above it, both at the origin in
// their own size; the label lies above both.
void TestPianoKey::pictures()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(uint32_t, type);
    QFETCH(QString, up);
    QFETCH(QString, down);
    KPDeviceIdiom::setCurrent(idiom);
    KPPianoKey key(type);

    QCOMPARE(key.upImageView()->image().cacheKey(), KPImages::named(up).cacheKey());
    QCOMPARE(key.downImageView()->image().cacheKey(), KPImages::named(down).cacheKey());
    QCOMPARE(key.upImageView()->geometry(), QRect(QPoint(0, 0), KPImages::sizeOf(up)));
    QCOMPARE(key.downImageView()->geometry(), QRect(QPoint(0, 0), KPImages::sizeOf(down)));
    QCOMPARE(key.state(), 0u);
    QCOMPARE(look(key), QStringLiteral("up"));

    const QObjectList children = key.children();
    QVERIFY(children.indexOf(key.upImageView()) < children.indexOf(key.downImageView()));
    QVERIFY(children.indexOf(key.downImageView()) < children.indexOf(key.label()));
}

void TestPianoKey::label_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<uint32_t>("type");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("fontSize");
    QTest::newRow("phone white") << KPIdiom::Phone << 0u << 30 << 20;
    QTest::newRow("phone black") << KPIdiom::Phone << 1u << 30 << 20;
    QTest::newRow("tablet white") << KPIdiom::Pad << 0u << 50 << 30;
    QTest::newRow("tablet black") << KPIdiom::Pad << 1u << 50 << 30;
    QTest::newRow("other device") << KPIdiom::Other << 0u << 30 << 20;
}

void TestPianoKey::label()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(uint32_t, type);
    QFETCH(int, height);
    QFETCH(int, fontSize);
    KPDeviceIdiom::setCurrent(idiom);
    KPPianoKey key(type);
    const QSize size = KPPianoKey::sizeForKeyType(type).toSize();

    const QLabel* label = key.label();
    QCOMPARE(label->geometry(), QRect(0, size.height() - height, size.width(), height));
    QCOMPARE(label->font().pixelSize(), fontSize);
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0x3B, 0x3B, 0x3B));
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QVERIFY(!label->autoFillBackground());
    QVERIFY(label->text().isEmpty());
    auto* alpha = qobject_cast<QGraphicsOpacityEffect*>(label->graphicsEffect());
    QVERIFY(alpha);
    QCOMPARE(alpha->opacity(), 0.7);
}

// Touches go past the key to the keyboard beneath it.
void TestPianoKey::takesNoInput()
{
    QWidget parent;
    parent.resize(200, 400);
    const auto* key = new KPPianoKey(0, &parent);
    QVERIFY(key->geometry().contains(5, 5));
    QCOMPARE(parent.childAt(5, 5), nullptr);
}

// Each row sets the states in turn at once, then looks at the key at once and again after the
// release look is over.
void TestPianoKey::stateChanges_data()
{
    QTest::addColumn<QList<uint32_t>>("states");
    QTest::addColumn<uint32_t>("state");
    QTest::addColumn<int>("pending");
    QTest::addColumn<QString>("lookAtOnce");
    QTest::addColumn<QString>("lookAfter");

    using L = QList<uint32_t>;
    QTest::newRow("press shows pressed") << L{1} << 1u << 0 << "down"
                                         << "down";
    QTest::newRow("tap keeps pressed for the release look") << L{1, 0} << 0u << 1 << "down"
                                                            << "up";
    QTest::newRow("press again within the release look") << L{1, 0, 1} << 1u << 0 << "down"
                                                         << "down";
    QTest::newRow("same state keeps the pending release") << L{1, 0, 0} << 0u << 1 << "down"
                                                          << "up";
    QTest::newRow("press twice") << L{1, 1} << 1u << 0 << "down"
                                 << "down";
    QTest::newRow("release of a released key") << L{0} << 0u << 0 << "up"
                                               << "up";
    QTest::newRow("unknown state hides both pictures") << L{2} << 2u << 0 << "none"
                                                       << "none";
    QTest::newRow("release after unknown state") << L{2, 0} << 0u << 1 << "none"
                                                 << "up";
    QTest::newRow("two taps leave one pending release") << L{1, 0, 1, 0} << 0u << 1 << "down"
                                                        << "up";
}

void TestPianoKey::stateChanges()
{
    QFETCH(QList<uint32_t>, states);
    QFETCH(uint32_t, state);
    QFETCH(int, pending);
    QFETCH(QString, lookAtOnce);
    QFETCH(QString, lookAfter);

    KPTestClock clock;
    KPPianoKey key(0);
    for (uint32_t s : states)
        key.setState(s);
    QCOMPARE(key.state(), state);
    QCOMPARE(KPDelayedCalls::pendingCount(&key), pending);
    QCOMPARE(look(key), lookAtOnce);

    clock.advance(KPPianoKey::releaseLookDuration);
    QCOMPARE(KPDelayedCalls::pendingCount(&key), 0);
    QCOMPARE(key.state(), state);
    QCOMPARE(look(key), lookAfter);
}

// A tap whose press and release come in the same instant still shows pressed for 0.1 s.
void TestPianoKey::pressedLookLastsATenth()
{
    KPTestClock clock;
    KPPianoKey key(1);
    key.setState(1);
    key.setState(0);
    clock.advance(KPPianoKey::releaseLookDuration - 1ms);
    QCOMPARE(look(key), QStringLiteral("down"));
    clock.advance(1ms);
    QCOMPARE(look(key), QStringLiteral("up"));
}

// Released and pressed again before the release look ends: the key never shows released,
// however often that happens in a row.
void TestPianoKey::pressWithinReleaseLookNeverShowsReleased()
{
    KPTestClock clock;
    KPPianoKey key(0);
    key.setState(1);
    for (int i = 0; i < 12; ++i) {
        key.setState(0);
        clock.advance(KPPianoKey::releaseLookDuration - 1ms);
        QCOMPARE(look(key), QStringLiteral("down"));
        key.setState(1);
        QCOMPARE(look(key), QStringLiteral("down"));
    }
}

QTEST_MAIN(TestPianoKey)
#include "tst_pianokey.moc"
