#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

// Images by name from the resources ("white_key_up-ipad", "record_button@2x"). The artwork is
// SVG: an image's size in points is the drawing's size, and it is rendered sharp for the
// screen's device pixel ratio. A missing image is a null pixmap of size zero.
class KPImages
{
public:
    static QPixmap named(const QString& name);
    static QSize sizeOf(const QString& name);
    // How many times larger than the screen's own resolution images are rendered, for a screen
    // that is shown enlarged (at most this much): 1 by default. Set before the first image.
    static void setRenderScale(qreal scale);
    // "%@%@": the name with the suffix when the condition holds.
    static QString nameWithSuffix(const QString& name, const QString& suffix, bool condition)
    {
        return condition ? name + suffix : name;
    }
};
