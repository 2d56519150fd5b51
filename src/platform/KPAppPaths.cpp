#include "platform/KPAppPaths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>

QString KPAppPaths::applicationSupportDirectory()
{
    QString path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!makePrivateFolder(path))
        qWarning("KPAppPaths: Could not create %s", qPrintable(path));
    return path;
}

bool KPAppPaths::makePrivateFolder(const QString& path)
{
    return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}
