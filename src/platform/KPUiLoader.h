#pragma once

#include <QHash>
#include <QUiLoader>

#include <functional>

// Loads an interface file, creating the view classes registered by name where the file names
// them; every other class is Qt's own.
class KPUiLoader : public QUiLoader
{
    Q_OBJECT

public:
    using Factory = std::function<QWidget*(QWidget* parent)>;

    explicit KPUiLoader(QObject* parent = nullptr);

    // Classes registered here are made by every loader of the process.
    static void registerClass(const QString& className, const Factory& factory);
    template <typename View> static void registerClass(const QString& className)
    {
        registerClass(className, [](QWidget* parent) -> QWidget* { return new View(parent); });
    }

    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override;

private:
    KPUiLoader(QObject* parent, QStringList&& libraryPaths);

    static QHash<QString, Factory>& factories();
};
