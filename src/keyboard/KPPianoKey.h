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
    static constexpr uint32_t whiteKeyType = 0;
    static constexpr uint32_t blackKeyType = 1;
    static constexpr uint32_t stateUp = 0;
    static constexpr uint32_t stateDown = 1;
    static constexpr std::chrono::milliseconds releaseLookDuration{100};

    // The size of the released picture of that type on this device; zero when the picture is
    // missing or the type is neither white nor black.
    static QSizeF sizeForKeyType(uint32_t type);

    explicit KPPianoKey(uint32_t type, QWidget* parent = nullptr);

    uint32_t type() const { return m_type; }
    uint32_t state() const { return m_state; }
    void setState(uint32_t state);
    // Shows the released picture.
    void setDelayedStateUp();

    QLabel* label() const { return m_label; }
    KPImageView* upImageView() const { return m_upImageView; }
    KPImageView* downImageView() const { return m_downImageView; }

private:
    uint32_t m_type;
    uint32_t m_state = stateUp;
    KPImageView* m_upImageView;
    KPImageView* m_downImageView;
    QLabel* m_label;
};
