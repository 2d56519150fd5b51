#include "platform/KPUiLoader.h"

#include <QCoreApplication>
#include <QWidget>

namespace {

QObject* withoutLibraryPaths(QObject* parent, QStringList& saved)
{
    saved = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    return parent;
}

} // namespace

KPUiLoader::KPUiLoader(QObject* parent) : KPUiLoader(parent, QStringList()) {}

// QUiLoader loads every Qt Designer widget plugin on the library path as it is made: Qt Quick's
// alone maps some 5 MiB of libraries and slows the start. Our interface files name only Qt's
// widgets and the classes registered here, so the loader is made with no path to search.
KPUiLoader::KPUiLoader(QObject* parent, QStringList&& libraryPaths)
    : QUiLoader(withoutLibraryPaths(parent, libraryPaths))
{
    QCoreApplication::setLibraryPaths(libraryPaths);
}

void KPUiLoader::registerClass(const QString& className, const Factory& factory)
{
    factories().insert(className, factory);
}

QHash<QString, KPUiLoader::Factory>& KPUiLoader::factories()
{
    static QHash<QString, Factory> registered;
    return registered;
}

QWidget* KPUiLoader::createWidget(const QString& className, QWidget* parent, const QString& name)
{
    const auto factory = factories().constFind(className);
    if (factory == factories().constEnd())
        return QUiLoader::createWidget(className, parent, name);
    QWidget* widget = (*factory)(parent);
    widget->setObjectName(name);
    return widget;
}
