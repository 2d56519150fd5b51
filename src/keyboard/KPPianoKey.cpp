#include "keyboard/KPPianoKey.h"

#include "keyboard/KPImageView.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "ui/KPImages.h"
#include "ui/KPUtils.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QLabel>

#include <algorithm>

namespace {

constexpr qreal kLabelAlpha = 0.7;

// The picture's name for the device: "white_key_up" on a phone, "white_key_up-ipad" on a
// tablet.
QString imageName(KPPianoKey::Type type, bool pressed)
{
    const char* name = type == KPPianoKey::Type::White
                           ? (pressed ? "white_key_down" : "white_key_up")
                           : (pressed ? "black_key_down" : "black_key_up");
    return KPImages::nameWithSuffix(QString::fromLatin1(name), QStringLiteral("-ipad"),
                                    KPDeviceIdiom::isPad());
}

} // namespace

QSizeF KPPianoKey::sizeForKeyType(Type type)
{
    return QSizeF(KPImages::sizeOf(imageName(type, false)));
}

KPPianoKey::KPPianoKey(Type type, QWidget* parent) : KPPianoKey(type, sizeForKeyType(type), parent)
{}

KPPianoKey::KPPianoKey(Type type, QSizeF size, QWidget* parent) : QWidget(parent), m_type(type)
{
    setGeometry(QRectF(QPointF(0, 0), size).toRect());

    m_upImageView = new KPImageView(KPImages::named(imageName(type, false)), size.toSize(), this);
    m_downImageView = new KPImageView(KPImages::named(imageName(type, true)), size.toSize(), this);
    m_downImageView->setAlpha(0.0);

    // The label grows with the picture when the key is drawn larger than its picture (the phone's
    // pictures on another device's taller screen).
    const bool pad = KPDeviceIdiom::isPad();
    const qreal picture = sizeForKeyType(type).height();
    const qreal grown = picture > 0 ? std::max(1.0, size.height() / picture) : 1.0;
    const qreal labelHeight = (pad ? 50 : 30) * grown;
    m_label = new QLabel(this);
    m_label->setGeometry(
        QRectF(0, size.height() - labelHeight, size.width(), labelHeight).toRect());
    QFont font = QApplication::font();
    font.setPixelSize(int((pad ? 30 : 20) * grown));
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
void KPPianoKey::setState(State state)
{
    if (state == m_state)
        return;
    KPDelayedCalls::cancelPreviousPerformRequests(this);
    if (state == State::Down) {
        m_upImageView->setAlpha(0.0);
        m_downImageView->setAlpha(1.0);
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
