// The yardstick of the start-up benchmark: a bare Qt Widgets window (a main window with ten
// buttons and a label) at the size the piano's window takes for the idiom given.
#include <QApplication>
#include <QCommandLineParser>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption idiomOption(QStringLiteral("idiom"), QString(),
                                         QStringLiteral("phone|tablet"));
    parser.addOption(idiomOption);
    parser.process(application);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Window"));
    auto* central = new QWidget(&window);
    auto* layout = new QGridLayout(central);
    for (int i = 0; i < 10; ++i)
        layout->addWidget(new QPushButton(QStringLiteral("Button %1").arg(i + 1), central), i / 5,
                          i % 5);
    layout->addWidget(new QLabel(QStringLiteral("A label"), central), 2, 0, 1, 5);
    window.setCentralWidget(central);
    if (parser.value(idiomOption) == QLatin1String("phone"))
        window.setFixedSize(480, 320);
    else
        window.setFixedSize(1024, 768);
    window.show();
    return application.exec();
}
