#pragma once

#include <QPixmap>
#include <QWidget>

// A picture at the origin of its parent, drawn with an alpha. Changing the alpha only repaints
// the picture's own area, so a key press costs one small repaint and no layout.
class KPImageView : public QWidget
{
public:
    // Takes the given size at the origin and draws the image to fill it; a null image shows
    // nothing.
    KPImageView(const QPixmap& image, QSize size, QWidget* parent = nullptr);

    const QPixmap& image() const { return m_image; }
    qreal alpha() const { return m_alpha; }
    void setAlpha(qreal alpha);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_image;
    qreal m_alpha = 1.0;
};
