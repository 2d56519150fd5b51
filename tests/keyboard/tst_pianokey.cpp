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
Q_DECLARE_METATYPE(KPPianoKey::Type)
Q_DECLARE_METATYPE(KPPianoKey::State)

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
    QTest::addColumn<KPPianoKey::Type>("type");
    QTest::addColumn<QSizeF>("size");
    const auto white = KPPianoKey::Type::White;
    const auto black = KPPianoKey::Type::Black;
    QTest::newRow("phone white") << KPIdiom::Phone << white << QSizeF(40, 320);
    QTest::newRow("phone black") << KPIdiom::Phone << black << QSizeF(24, 200);
    QTest::newRow("tablet white") << KPIdiom::Pad << white << QSizeF(66, 768);
    QTest::newRow("tablet black") << KPIdiom::Pad << black << QSizeF(40, 480);
    QTest::newRow("other device uses the phone pictures")
        << KPIdiom::Other << white << QSizeF(40, 320);
}

void TestPianoKey::sizeForKeyType()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(KPPianoKey::Type, type);
    QFETCH(QSizeF, size);
    KPDeviceIdiom::setCurrent(idiom);
    QCOMPARE(KPPianoKey::sizeForKeyType(type), size);

    KPPianoKey key(type);
    QCOMPARE(key.geometry(), QRect(QPoint(0, 0), size.toSize()));
}

void TestPianoKey::pictures_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<KPPianoKey::Type>("type");
    QTest::addColumn<QString>("up");
    QTest::addColumn<QString>("down");
    const auto white = KPPianoKey::Type::White;
    const auto black = KPPianoKey::Type::Black;
    QTest::newRow("phone white") << KPIdiom::Phone << white << "white_key_up"
                                 << "white_key_down";
    QTest::newRow("phone black") << KPIdiom::Phone << black << "black_key_up"
                                 << "black_key_down";
    QTest::newRow("tablet white") << KPIdiom::Pad << white << "white_key_up-ipad"
                                  << "white_key_down-ipad";
    QTest::newRow("tablet black") << KPIdiom::Pad << black << "black_key_up-ipad"
                                  << "black_key_down-ipad";
}

// The released picture shows, the pressed one lies hidden above it, both at the origin in
// their own size; the label lies above both.
void TestPianoKey::pictures()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(KPPianoKey::Type, type);
    QFETCH(QString, up);
    QFETCH(QString, down);
    KPDeviceIdiom::setCurrent(idiom);
    KPPianoKey key(type);

    QCOMPARE(key.upImageView()->image().cacheKey(), KPImages::named(up).cacheKey());
    QCOMPARE(key.downImageView()->image().cacheKey(), KPImages::named(down).cacheKey());
    QCOMPARE(key.upImageView()->geometry(), QRect(QPoint(0, 0), KPImages::sizeOf(up)));
    QCOMPARE(key.downImageView()->geometry(), QRect(QPoint(0, 0), KPImages::sizeOf(down)));
    QCOMPARE(key.state(), KPPianoKey::State::Up);
    QCOMPARE(look(key), QStringLiteral("up"));

    const QObjectList children = key.children();
    QVERIFY(children.indexOf(key.upImageView()) < children.indexOf(key.downImageView()));
    QVERIFY(children.indexOf(key.downImageView()) < children.indexOf(key.label()));
}

void TestPianoKey::label_data()
{
    QTest::addColumn<KPIdiom>("idiom");
    QTest::addColumn<KPPianoKey::Type>("type");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("fontSize");
    const auto white = KPPianoKey::Type::White;
    const auto black = KPPianoKey::Type::Black;
    QTest::newRow("phone white") << KPIdiom::Phone << white << 30 << 20;
    QTest::newRow("phone black") << KPIdiom::Phone << black << 30 << 20;
    QTest::newRow("tablet white") << KPIdiom::Pad << white << 50 << 30;
    QTest::newRow("tablet black") << KPIdiom::Pad << black << 50 << 30;
    QTest::newRow("other device") << KPIdiom::Other << white << 30 << 20;
}

void TestPianoKey::label()
{
    QFETCH(KPIdiom, idiom);
    QFETCH(KPPianoKey::Type, type);
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
    const auto* key = new KPPianoKey(KPPianoKey::Type::White, &parent);
    QVERIFY(key->geometry().contains(5, 5));
    QCOMPARE(parent.childAt(5, 5), nullptr);
}

// Each row sets the states in turn at once, then looks at the key at once and again after the
// release look is over.
void TestPianoKey::stateChanges_data()
{
    QTest::addColumn<QList<KPPianoKey::State>>("states");
    QTest::addColumn<KPPianoKey::State>("state");
    QTest::addColumn<int>("pending");
    QTest::addColumn<QString>("lookAtOnce");
    QTest::addColumn<QString>("lookAfter");

    using L = QList<KPPianoKey::State>;
    const auto U = KPPianoKey::State::Up;
    const auto D = KPPianoKey::State::Down;
    QTest::newRow("press shows pressed") << L{D} << D << 0 << "down"
                                         << "down";
    QTest::newRow("tap keeps pressed for the release look") << L{D, U} << U << 1 << "down"
                                                            << "up";
    QTest::newRow("press again within the release look") << L{D, U, D} << D << 0 << "down"
                                                         << "down";
    QTest::newRow("same state keeps the pending release") << L{D, U, U} << U << 1 << "down"
                                                          << "up";
    QTest::newRow("press twice") << L{D, D} << D << 0 << "down"
                                 << "down";
    QTest::newRow("release of a released key") << L{U} << U << 0 << "up"
                                               << "up";
    QTest::newRow("two taps leave one pending release") << L{D, U, D, U} << U << 1 << "down"
                                                        << "up";
}

void TestPianoKey::stateChanges()
{
    QFETCH(QList<KPPianoKey::State>, states);
    QFETCH(KPPianoKey::State, state);
    QFETCH(int, pending);
    QFETCH(QString, lookAtOnce);
    QFETCH(QString, lookAfter);

    KPTestClock clock;
    KPPianoKey key(KPPianoKey::Type::White);
    for (KPPianoKey::State s : states)
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
    KPPianoKey key(KPPianoKey::Type::Black);
    key.setState(KPPianoKey::State::Down);
    key.setState(KPPianoKey::State::Up);
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
    KPPianoKey key(KPPianoKey::Type::White);
    key.setState(KPPianoKey::State::Down);
    for (int i = 0; i < 12; ++i) {
        key.setState(KPPianoKey::State::Up);
        clock.advance(KPPianoKey::releaseLookDuration - 1ms);
        QCOMPARE(look(key), QStringLiteral("down"));
        key.setState(KPPianoKey::State::Down);
        QCOMPARE(look(key), QStringLiteral("down"));
    }
}

QTEST_MAIN(TestPianoKey)
#include "tst_pianokey.moc"
