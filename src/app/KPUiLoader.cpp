#include "KPUiLoader.h"

#include "KPButton.h"
#include "KPPianoView.h"
#include "KPSettingsView.h"

QWidget* KPUiLoader::createWidget(const QString& className, QWidget* parent, const QString& name)
{
    QWidget* widget = nullptr;
    if (className == QLatin1String("KPPianoView"))
        widget = new KPPianoView(parent);
    else if (className == QLatin1String("KPSettingsView"))
        widget = new KPSettingsView(parent);
    else if (className == QLatin1String("KPButton"))
        widget = new KPButton(parent);
    else
        return QUiLoader::createWidget(className, parent, name);
    widget->setObjectName(name);
    return widget;
}
