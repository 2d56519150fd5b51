#include "platform/KPBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

#include <optional>

namespace {

struct Index
{
    QString root;
    std::optional<QHash<QString, QString>> paths;
};

Index& index()
{
    static Index instance;
    return instance;
}

QString defaultRoot()
{
    QString fromEnvironment = qEnvironmentVariable("TOUCHPIANO_RESOURCES");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/touchpiano/resources");
    if (QFileInfo(installed).isDir())
        return QDir(installed).canonicalPath();
    return QStringLiteral(KP_RESOURCE_DIR);
}

const QHash<QString, QString>& paths()
{
    Index& idx = index();
    if (idx.root.isEmpty())
        idx.root = defaultRoot();
    if (!idx.paths) {
        idx.paths.emplace();
        // Sorted walk, so that which of two equal names wins never depends on the file system.
        QStringList found;
        QDirIterator it(idx.root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        found.sort();
        for (const QString& path : std::as_const(found)) {
            const QString fileName = QFileInfo(path).fileName();
            if (!idx.paths->contains(fileName))
                idx.paths->insert(fileName, path);
        }
    }
    return *idx.paths;
}

} // namespace

QString KPBundle::pathForResource(const QString& name, const QString& type)
{
    if (name.isEmpty())
        return {};
    const QString fileName = type.isEmpty() ? name : name + QLatin1Char('.') + type;
    return paths().value(fileName);
}

QString KPBundle::resourceRoot()
{
    paths();
    return index().root;
}

void KPBundle::setResourceRoot(const QString& root)
{
    index().root = root;
    index().paths.reset();
}

QString KPBundle::bundleIdentifier()
{
    return QStringLiteral("org.touchpiano.TouchPiano");
}
