#include "platform/KPBundle.h"
#include "ui/KPImages.h"
#include "ui/KPProxyTouchRouter.h"
#include "ui/KPScaledProxyWidget.h"
#include "ui/KPSmartTableViewCell.h"
#include "ui/KPTableView.h"
#include "ui/KPUtils.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QGraphicsProxyWidget>
#include <QGraphicsView>
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

// A widget that notes the touches it is given: type, finger, position and last position.
class KPTouchTarget : public QWidget
{
public:
    explicit KPTouchTarget(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_AcceptTouchEvents);
    }
    QStringList seen;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() < QEvent::TouchBegin || event->type() > QEvent::TouchEnd)
            return QWidget::event(event);
        for (const QEventPoint& point : static_cast<QTouchEvent*>(event)->points())
            seen << QStringLiteral("%1 %2 %3,%4 from %5,%6")
                        .arg(event->type() == QEvent::TouchBegin    ? "begin"
                             : event->type() == QEvent::TouchUpdate ? "update"
                                                                    : "end")
                        .arg(point.id())
                        .arg(point.position().x())
                        .arg(point.position().y())
                        .arg(point.lastPosition().x())
                        .arg(point.lastPosition().y());
        event->accept();
        return true;
    }
};

// A 100x50 screen with two touch targets side by side, drawn twice its size in a view.
class KPScaledScreen : public QGraphicsView
{
public:
    KPScaledScreen()
    {
        auto* screen = new QWidget;
        screen->resize(100, 50);
        left = new KPTouchTarget(screen);
        left->setGeometry(0, 0, 50, 25);
        right = new KPTouchTarget(screen);
        right->setGeometry(50, 0, 50, 25);
        setScene(new QGraphicsScene(0, 0, 100, 50, this));
        m_router = new KPProxyTouchRouter(*this, *scene()->addWidget(screen), this);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewport()->setAttribute(Qt::WA_AcceptTouchEvents);
        setTransform(QTransform::fromScale(2, 2));
        resize(200, 100);
    }
    KPTouchTarget* left;
    KPTouchTarget* right;
    int unrouted = 0;

protected:
    bool viewportEvent(QEvent* event) override
    {
        if (event->type() >= QEvent::TouchBegin && event->type() <= QEvent::TouchEnd) {
            if (m_router->route(*static_cast<QTouchEvent*>(event)))
                return true;
            ++unrouted;
        }
        return QGraphicsView::viewportEvent(event);
    }

private:
    KPProxyTouchRouter* m_router;
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
    void touchesReachTheScaledWidgetEachFingerFirstTouched();
    void fadedChildIsDrawnWhereItLiesAtAnyScale();
};

void TestUi::touchesReachTheScaledWidgetEachFingerFirstTouched()
{
    KPScaledScreen view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    std::unique_ptr<QPointingDevice> device(QTest::createTouchDevice());
    auto touches = QTest::touchEvent(&view, device.get(), false);
    QWidget* surface = view.viewport();
    touches.press(0, QPoint(20, 10), surface).commit();
    touches.stationary(0).press(1, QPoint(120, 30), surface).commit();
    // Slid over to the right target, the first finger still belongs to the left one.
    touches.move(0, QPoint(140, 40), surface).stationary(1).commit();
    touches.release(0, QPoint(140, 40), surface).release(1, QPoint(120, 30), surface).commit();
    QCOMPARE(view.left->seen, QStringList({"begin 0 10,5 from 10,5", "update 0 70,20 from 10,5",
                                           "end 0 70,20 from 10,5"}));
    QCOMPARE(view.right->seen, QStringList({"begin 1 10,15 from 10,15", "end 1 10,15 from 10,15"}));

    // Below both targets the view has the touch, to make a mouse press of.
    touches.press(2, QPoint(20, 80), surface).commit();
    touches.release(2, QPoint(20, 80), surface).commit();
    QCOMPARE(view.unrouted, 1);
    QCOMPARE(view.left->seen.size(), 3);
}

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

    // For a screen shown twice its size: twice the pixels, the same size in points.
    KPImages::setRenderScale(2);
    const QPixmap sharp = KPImages::named(QStringLiteral("white_key_up"));
    KPImages::setRenderScale(1);
    QCOMPARE(sharp.devicePixelRatio(), 2 * qApp->devicePixelRatio());
    QCOMPARE(sharp.deviceIndependentSize(), key.deviceIndependentSize());
}

QTEST_MAIN(TestUi)
#include "tst_ui.moc"

void TestUi::fadedChildIsDrawnWhereItLiesAtAnyScale()
{
    auto* screen = new QWidget;
    screen->setGeometry(0, 0, 100, 50);
    screen->setStyleSheet(QStringLiteral("background: white"));
    auto* faded = new QWidget(screen);
    faded->setGeometry(50, 20, 40, 20);
    faded->setStyleSheet(QStringLiteral("background: red"));
    auto* alpha = new QGraphicsOpacityEffect(faded);
    alpha->setOpacity(0.5);
    faded->setGraphicsEffect(alpha);
    auto* proxy = new KPScaledProxyWidget;
    proxy->setWidget(screen);
    QGraphicsScene scene(0, 0, 100, 50);
    scene.addItem(proxy);
    QGraphicsView view(&scene);
    view.setFrameShape(QFrame::NoFrame);
    view.setTransform(QTransform::fromScale(3, 3));
    view.resize(300, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QImage drawn = view.viewport()->grab().toImage();
    QCOMPARE(drawn.pixelColor(3 * 70, 3 * 30).name(), QStringLiteral("#ff8080"));
    QCOMPARE(drawn.pixelColor(3 * 45, 3 * 30).name(), QStringLiteral("#ffffff"));
}
