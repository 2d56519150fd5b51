#include "platform/KPDeviceIdiom.h"

namespace {
KPIdiom g_idiom = KPIdiom::Phone;
}

KPIdiom KPDeviceIdiom::current()
{
    return g_idiom;
}

void KPDeviceIdiom::setCurrent(KPIdiom idiom)
{
    g_idiom = idiom;
}

std::optional<KPIdiom> KPDeviceIdiom::fromName(QStringView name)
{
    if (name == u"phone")
        return KPIdiom::Phone;
    if (name == u"tablet")
        return KPIdiom::Pad;
    if (name == u"other")
        return KPIdiom::Other;
    return std::nullopt;
}

KPIdiom KPDeviceIdiom::fromScreenSize(QSizeF points)
{
    const qreal longSide = qMax(points.width(), points.height());
    const qreal shortSide = qMin(points.width(), points.height());
    return longSide >= 1024 && shortSide >= 768 ? KPIdiom::Pad : KPIdiom::Phone;
}

QSize KPDeviceIdiom::windowSize(KPIdiom idiom)
{
    return idiom == KPIdiom::Phone ? QSize(480, 320) : QSize(1024, 768);
}
