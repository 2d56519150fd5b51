#include "ui/KPImages.h"

#include "platform/KPBundle.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

namespace {

qreal g_renderScale = 1.0;

qreal devicePixelRatio()
{
    return (qGuiApp ? qGuiApp->devicePixelRatio() : 1.0) * g_renderScale;
}

} // namespace

void KPImages::setRenderScale(qreal scale)
{
    g_renderScale = std::max(scale, qreal(1));
}

QPixmap KPImages::named(const QString& name)
{
    static QHash<QString, QPixmap> cache;
    const qreal ratio = devicePixelRatio();
    const QString cacheKey = name + QLatin1Char('|') + QString::number(ratio);
    if (const auto it = cache.constFind(cacheKey); it != cache.constEnd())
        return *it;

    QPixmap pixmap;
    const QString path = KPBundle::pathForResource(name, QStringLiteral("svg"));
    if (!path.isEmpty()) {
        QSvgRenderer renderer(path);
        if (renderer.isValid()) {
            const QSize points = renderer.defaultSize();
            QImage image(points * ratio, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            renderer.render(&painter);
            painter.end();
            image.setDevicePixelRatio(ratio);
            pixmap = QPixmap::fromImage(image);
        } else {
            qWarning("KPImages: Could not render image '%s'", qPrintable(path));
        }
    }
    cache.insert(cacheKey, pixmap);
    return pixmap;
}

QSize KPImages::sizeOf(const QString& name)
{
    const QPixmap pixmap = named(name);
    return pixmap.isNull() ? QSize(0, 0) : pixmap.deviceIndependentSize().toSize();
}
