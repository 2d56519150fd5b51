#pragma once

#include <QAbstractButton>
#include <QPixmap>

// A toolbar button drawn from artwork: an image for the normal state, a plate behind it while
// selected, and a dimmed image while highlighted (held down, or set so by the program).
class KPButton : public QAbstractButton
{
    Q_OBJECT
    Q_PROPERTY(bool selected READ isSelected WRITE setSelected)
    Q_PROPERTY(bool highlighted READ isHighlighted WRITE setHighlighted)

public:
    explicit KPButton(QWidget* parent = nullptr);

    void setImage(const QPixmap& image);
    QPixmap image() const { return m_image; }
    void setSelectedPlate(const QPixmap& plate);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHighlighted() const { return m_highlighted || isDown(); }
    void setHighlighted(bool highlighted);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_image;
    QPixmap m_plate;
    bool m_selected = false;
    bool m_highlighted = false;
};
