#include "platform/KPBundle.h"
#include "ui/KPImages.h"
#include "ui/KPSmartTableViewCell.h"
#include "ui/KPTableView.h"
#include "ui/KPUtils.h"

#include <QApplication>
#include <QtTest>

class KPTestCell : public KPSmartTableViewCell
{
    Q_OBJECT
public:
    using KPSmartTableViewCell::KPSmartTableViewCell;
};

class KPOtherTestCell : public KPSmartTableViewCell
{
    Q_OBJECT
public:
    using KPSmartTableViewCell::KPSmartTableViewCell;
};

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void colorFromHex_data();
    void colorFromHex();
    void trimmedString_data();
    void trimmedString();
    void cellsAreReusedByTheirClassName();
    void imagesByName();
};

void TestUi::colorFromHex_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QColor>("color");
    const QColor grey = QColor::fromRgbF(68 / 255.0f, 68 / 255.0f, 68 / 255.0f);
    const QColor black(Qt::black);
    QTest::newRow("six digits") << "444444" << grey;
    QTest::newRow("behind a hash") << "#444444" << grey;
    QTest::newRow("blanks and a line break around") << "  #444444\n" << grey;
    QTest::newRow("lower case") << "3b3b3b"
                                << QColor::fromRgbF(59 / 255.0f, 59 / 255.0f, 59 / 255.0f);
    QTest::newRow("each component apart") << "FF8000" << QColor::fromRgbF(1.0f, 128 / 255.0f, 0.0f);
    QTest::newRow("hash and three digits") << "#444" << black;
    QTest::newRow("hash and five digits") << "#44444" << black;
    QTest::newRow("seven digits without hash") << "4444444" << black;
    QTest::newRow("0x prefix") << "0x444444" << black;
    QTest::newRow("empty") << "" << black;
    QTest::newRow("pair without a digit reads as zero")
        << "GG4444" << QColor::fromRgbF(0.0f, 68 / 255.0f, 68 / 255.0f);
}

void TestUi::colorFromHex()
{
    QFETCH(QString, hex);
    QFETCH(QColor, color);
    const QColor result = KPUtils::colorFromHex(hex);
    QCOMPARE(result.rgba(), color.rgba());
    QCOMPARE(result.alphaF(), 1.0f);
}

void TestUi::trimmedString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("blanks and line breaks around") << " \n My song \t\n"
                                                   << "My song";
    QTest::newRow("blanks inside kept") << "My  song"
                                        << "My  song";
    QTest::newRow("blanks only") << "   \n "
                                 << "";
}

void TestUi::trimmedString()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);
    QCOMPARE(KPUtils::trimmedString(text), trimmed);
}

void TestUi::cellsAreReusedByTheirClassName()
{
    KPTableView table;
    QCOMPARE(KPSmartTableViewCell::cellIdentifier<KPTestCell>(), QStringLiteral("KPTestCell"));

    KPTestCell* fresh = KPSmartTableViewCell::cellForTableView<KPTestCell>(&table);
    QVERIFY(fresh);
    QCOMPARE(fresh->reuseIdentifier(), QStringLiteral("KPTestCell"));
    QCOMPARE(fresh->palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(fresh->autoFillBackground());

    // A cell handed back is reused unchanged, and only for its own class.
    fresh->setBackgroundColor(Qt::red);
    table.enqueueReusableCell(fresh);
    KPOtherTestCell* other = KPSmartTableViewCell::cellForTableView<KPOtherTestCell>(&table);
    QVERIFY(other);
    QVERIFY(static_cast<QWidget*>(other) != fresh);
    KPTestCell* reused = KPSmartTableViewCell::cellForTableView<KPTestCell>(&table);
    QCOMPARE(reused, fresh);
    QCOMPARE(reused->palette().color(QPalette::Window), QColor(Qt::red));
    QVERIFY(KPSmartTableViewCell::cellForTableView<KPTestCell>(&table) != fresh);
}

void TestUi::imagesByName()
{
    QVERIFY(KPImages::named(QStringLiteral("no_such_image")).isNull());
    QCOMPARE(KPImages::sizeOf(QStringLiteral("no_such_image")), QSize(0, 0));

    // Sizes are the drawing's points, whatever the suffix in the name says.
    QCOMPARE(KPImages::sizeOf(QStringLiteral("record_button")), QSize(40, 40));
    QCOMPARE(KPImages::sizeOf(QStringLiteral("record_button@2x")), QSize(72, 72));
    QCOMPARE(KPImages::sizeOf(QStringLiteral("white_key_up-ipad")), QSize(66, 768));
    const QPixmap key = KPImages::named(QStringLiteral("white_key_up"));
    QVERIFY(!key.isNull());
    QCOMPARE(key.devicePixelRatio(), qApp->devicePixelRatio());
    // Every drawing of the artwork renders.
    const QDir images(KPBundle::resourceRoot() + QStringLiteral("/images"));
    const QStringList drawings = images.entryList({QStringLiteral("*.svg")});
    QVERIFY(drawings.size() > 40);
    for (const QString& file : drawings)
        QVERIFY2(!KPImages::named(file.chopped(4)).isNull(), qPrintable(file));
}

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
