#include "platform/KPAppPaths.h"

#include <QDir>
#include <QStandardPaths>

QString KPAppPaths::applicationSupportDirectory()
{
    QString path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!QDir().mkpath(path))
        qWarning("KPAppPaths: Could not create %s", qPrintable(path));
    return path;
}
