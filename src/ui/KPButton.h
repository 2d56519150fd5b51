#pragma once

#include <QAbstractButton>
#include <QPixmap>

#include <optional>

class QTouchEvent;

// A toolbar button drawn from artwork: an image for the normal state, a plate behind it while
// selected, and a dimmed image while highlighted (held down, or set so by the program).
//
// It answers a touch of its own, whatever other fingers do elsewhere (Qt makes mouse clicks only
// from the first finger): a finger that lands on it holds it down, lifting it there clicks, and
// sliding it off lets the button go without a click.
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
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void handleTouch(const QTouchEvent& event);

    QPixmap m_image;
    QPixmap m_plate;
    bool m_selected = false;
    bool m_highlighted = false;
    // The finger that holds the button down.
    std::optional<int> m_touch;
};
