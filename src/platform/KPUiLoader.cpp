#include "platform/KPUiLoader.h"

#include <QWidget>

void KPUiLoader::registerClass(const QString& className, Factory factory)
{
    factories().insert(className, std::move(factory));
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
