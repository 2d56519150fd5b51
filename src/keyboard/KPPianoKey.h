#pragma once

#include <QSizeF>
#include <QWidget>

#include <chrono>
#include <cstdint>

class KPImageView;
class QLabel;

// One key of the keyboard: the released and the pressed picture of a white or black key, and
// a small label near its bottom edge. It takes no input itself: the keys view places the keys,
// hit-tests touches against their frames and sets their state. A released key keeps its
// pressed look for a tenth of a second.
class KPPianoKey : public QWidget
{
public:
    enum class Type : uint32_t {
        White = 0,
        Black = 1,
    };
    enum class State : uint32_t {
        Up = 0,
        Down = 1,
    };
    static constexpr std::chrono::milliseconds releaseLookDuration{100};

    // The size of the released picture of that type on this device; zero when the picture is
    // missing.
    static QSizeF sizeForKeyType(Type type);

    // A key the size of its pictures.
    explicit KPPianoKey(Type type, QWidget* parent = nullptr);
    // A key of another size: its pictures are drawn to fill it.
    KPPianoKey(Type type, QSizeF size, QWidget* parent = nullptr);

    Type type() const { return m_type; }
    State state() const { return m_state; }
    void setState(State state);
    // Shows the released picture.
    void setDelayedStateUp();

    QLabel* label() const { return m_label; }
    KPImageView* upImageView() const { return m_upImageView; }
    KPImageView* downImageView() const { return m_downImageView; }

private:
    Type m_type;
    State m_state = State::Up;
    KPImageView* m_upImageView;
    KPImageView* m_downImageView;
    QLabel* m_label;
};
