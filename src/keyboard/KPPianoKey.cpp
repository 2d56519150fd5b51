#include "keyboard/KPPianoKey.h"

#include "keyboard/KPImageView.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "ui/KPImages.h"
#include "ui/KPUtils.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>

namespace {

constexpr qreal kLabelAlpha = 0.7;

// The picture's name for the device: "white_key_up" on a phone, "white_key_up-ipad" on a
// tablet. Empty for a type that has no pictures.
QString imageName(uint32_t type, bool pressed)
{
    const char* name = nullptr;
    if (type == KPPianoKey::whiteKeyType)
        name = pressed ? "white_key_down" : "white_key_up";
    else if (type == KPPianoKey::blackKeyType)
        name = pressed ? "black_key_down" : "black_key_up";
    if (!name)
        return {};
    return KPImages::nameWithSuffix(QString::fromLatin1(name), QStringLiteral("-ipad"),
                                    KPDeviceIdiom::isPad());
}

QPixmap image(uint32_t type, bool pressed)
{
    const QString name = imageName(type, pressed);
    return name.isEmpty() ? QPixmap() : KPImages::named(name);
}

} // namespace

QSizeF KPPianoKey::sizeForKeyType(uint32_t type)
{
    const QString name = imageName(type, false);
    return name.isEmpty() ? QSizeF(0, 0) : QSizeF(KPImages::sizeOf(name));
}

KPPianoKey::KPPianoKey(uint32_t type, QWidget* parent) : QWidget(parent), m_type(type)
{
    const QSizeF size = sizeForKeyType(type);
    setGeometry(QRectF(QPointF(0, 0), size).toRect());

    m_upImageView = new KPImageView(image(type, false), this);
    m_downImageView = new KPImageView(image(type, true), this);
    m_downImageView->setAlpha(0.0);

    const bool pad = KPDeviceIdiom::isPad();
    const qreal labelHeight = pad ? 50 : 30;
    m_label = new QLabel(this);
    m_label->setGeometry(
        QRectF(0, size.height() - labelHeight, size.width(), labelHeight).toRect());
    QFont font = QApplication::font();
    font.setPixelSize(pad ? 30 : 20);
    m_label->setFont(font);
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, KPUtils::colorFromHex(QStringLiteral("3B3B3B")));
    m_label->setPalette(palette);
    m_label->setAutoFillBackground(false);
    m_label->setAlignment(Qt::AlignCenter);
    auto* labelAlpha = new QGraphicsOpacityEffect(m_label);
    labelAlpha->setOpacity(kLabelAlpha);
    m_label->setGraphicsEffect(labelAlpha);

    // Touches fall through to the keys view, which decides which key they hit.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

// A press shows at once and cancels a pending release look, so a key pressed again within the
// tenth of a second never flickers. A release only schedules the released picture; the state
// itself changes at once in both cases. The same state again changes nothing, and in
// particular leaves a pending release look alone.
void KPPianoKey::setState(uint32_t state)
{
    if (state == m_state)
        return;
    KPDelayedCalls::cancelPreviousPerformRequests(this);
    if (state != stateUp) {
        m_upImageView->setAlpha(0.0);
        m_downImageView->setAlpha(state == stateDown ? 1.0 : 0.0);
    } else {
        KPDelayedCalls::perform(this, releaseLookDuration, [this] { setDelayedStateUp(); });
    }
    m_state = state;
}

void KPPianoKey::setDelayedStateUp()
{
    m_upImageView->setAlpha(1.0);
    m_downImageView->setAlpha(0.0);
}
