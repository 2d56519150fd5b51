#include "screen/KPPianoView.h"

#include "audio/KPSoundPlayer.h"
#include "audio/KPSystemSound.h"
#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPianoKeysView.h"
#include "keyboard/KPTouchPlayer.h"
#include "performer/KPNoteListener.h"
#include "performer/KPNotePerformer.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPRecordingsManager.h"
#include "screen/KPMetronome.h"
#include "screen/KPRecordingsControl.h"
#include "ui/KPImages.h"
#include "ui/KPUtils.h"

#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QVariantAnimation>
#include <QWheelEvent>

#include <cmath>

using namespace std::chrono_literals;

namespace {

constexpr auto kSlideDuration = 300;
constexpr auto kBlinkInterval = 300ms;
constexpr auto kPopupDelay = 800ms;
// The light veil over the keyboard while a panel is shown, at its full strength.
constexpr int kVeilAlpha = 70;

// Opacity of a widget, made on first use: the toolkit's alpha.
QGraphicsOpacityEffect* opacityOf(QWidget* widget)
{
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    return effect;
}

// The octave buttons carry their direction in their tag: 0 up, 1 down.
std::optional<KPOctaveDirection> octaveDirection(const QObject* button)
{
    switch (button->property("tag").toUInt()) {
    case uint32_t(KPOctaveDirection::Higher):
        return KPOctaveDirection::Higher;
    case uint32_t(KPOctaveDirection::Lower):
        return KPOctaveDirection::Lower;
    default:
        return std::nullopt;
    }
}

// Shift (or Ctrl) held makes a button's step a fine one, so every tempo can be set.
uint32_t buttonTempoStep()
{
    return QGuiApplication::keyboardModifiers() & (Qt::ShiftModifier | Qt::ControlModifier)
               ? 1
               : KPMetronome::tempoStep;
}

// The designed margin at each side of the keyboard.
int keysInset()
{
    return KPDeviceIdiom::isPad() ? 52 : 27;
}

QString tabletImageName(const char* name)
{
    return KPImages::nameWithSuffix(QLatin1String(name), QStringLiteral("@2x"),
                                    KPDeviceIdiom::isPad());
}

} // namespace

class KPPianoView::SustainLight : public KPNoteListener
{
public:
    explicit SustainLight(KPButton* button) : m_button(button) {}

    void notePressed(KPNoteSource, uint32_t, uint8_t) override {}
    void noteReleased(KPNoteSource, uint32_t, bool) override {}
    void sustainChanged(bool down) override
    {
        if (m_button)
            m_button->setSelected(down);
    }

private:
    QPointer<KPButton> m_button;
};

KPPianoView::KPPianoView(QWidget* parent)
    : QWidget(parent), m_metronome(new KPMetronome(KPSystemSound::shared(), this))
{
    // The case around the keyboard, in the toolbar's colour.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, KPUtils::colorFromHex(QStringLiteral("1F2226")));
    setPalette(palette);
    setAutoFillBackground(true);
}

KPPianoView::~KPPianoView()
{
    setPerformer(nullptr);
}

void KPPianoView::awakeFromNib()
{
    m_designedWidth = width();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        m_designedFrames.insert(child, child->geometry());

    m_keysView = new KPPianoKeysView(geometry(), this);
    m_sustainLight = std::make_unique<SustainLight>(m_buttonSustain);
    layOutWidth();
    m_keysView->lower();
    connect(m_keysView, &KPPianoKeysView::octaveChanged, this, &KPPianoView::updateOctaveButtons);
    updateOctaveButtons();

    updateMetronomeText();
    if (m_labelMetronome)
        m_labelMetronome->installEventFilter(this);
    for (KPButton* button : {m_buttonMetronomeMinus, m_buttonMetronomePlus}) {
        if (!button)
            continue;
        // Held, a button goes on stepping.
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(400);
        button->setAutoRepeatInterval(100);
        button->installEventFilter(this);
    }

    if (m_settingsView) {
        m_settingsView->move(m_settingsView->x(), -m_settingsView->height());
        connect(m_settingsView, &KPSettingsView::dynamicsChanged, m_keysView,
                &KPPianoKeysView::setDynamics);
    }

    if (m_buttonOverlay) {
        // A light veil over the keyboard while a panel is shown.
        m_buttonOverlay->setAutoFillBackground(true);
        m_buttonOverlay->setBackgroundRole(QPalette::Window);
    }
    setOverlayAlpha(0, false);

    setRecordingsControl(m_recordings);
    setPerformer(std::exchange(m_performer, nullptr));
    addPlaylist();
}

void KPPianoView::setRecordingsManager(KPRecordingsManager* manager)
{
    if (m_manager)
        return;
    m_manager = manager;
    addPlaylist();
}

// Once the view is loaded and has its manager, whichever came first.
void KPPianoView::addPlaylist()
{
    if (!m_manager || !m_keysView || m_playlistView)
        return;
    auto* playlist = m_playlistView = new KPPlaylistView(*m_manager, this);
    playlist->move(8, -playlist->height());
    if (m_buttonOverlay) {
        // Directly above the overlay.
        const QObjectList& siblings = children();
        const qsizetype above = siblings.indexOf(m_buttonOverlay) + 1;
        if (auto* next =
                above < siblings.size() ? qobject_cast<QWidget*>(siblings.at(above)) : nullptr)
            playlist->stackUnder(next);
    }
    connect(m_manager, &KPRecordingsManager::recordingSaved, this,
            &KPPianoView::showRecordingPopup);
}

void KPPianoView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutWidth();
}

void KPPianoView::layOutWidth()
{
    if (!m_keysView || m_designedWidth <= 0)
        return;
    const int extra = width() - m_designedWidth;
    const int rightFrom =
        m_buttonMetronome ? m_designedFrames.value(m_buttonMetronome).x() : m_designedWidth;
    for (auto it = m_designedFrames.constBegin(); it != m_designedFrames.constEnd(); ++it) {
        QWidget* child = it.key();
        QRect frame = it.value();
        if (frame.width() >= m_designedWidth) {
            frame.setWidth(frame.width() + extra);
            // A full-width picture (the toolbar's) stretches with it.
            if (auto* picture = qobject_cast<QLabel*>(child))
                picture->setScaledContents(true);
        } else if (child == m_settingsView)
            frame.translate(extra / 2, 0);
        else if (frame.x() >= rightFrom)
            frame.translate(extra, 0);
        // The panels keep where they slid to and the height their controls gave them.
        child->setGeometry(frame.x(), child->y(), frame.width(), child->height());
    }
    // Equal margins near the designed inset (at least half of it), the keyboard showing whole
    // keys only.
    const int inset = keysInset();
    const int keysWidth = m_keysView->widthForWholeKeys(width() - 2 * inset, inset);
    m_keysView->setGeometry((width() - keysWidth) / 2, m_keysView->y(), keysWidth,
                            m_keysView->height());
}

int KPPianoView::widthShowingOctaves(int octaves) const
{
    if (!m_keysView)
        return width();
    const float octaveWidth = m_keysView->contentWidth() / float(KPKeyboardLayout::octaveCount);
    return int(std::ceil(octaveWidth * float(octaves))) + 2 * keysInset();
}

void KPPianoView::setRecordingsControl(KPRecordingsControl* recordings)
{
    m_recordings = recordings;
    for (KPButton* button : {m_buttonRecord, m_buttonPlaylist})
        if (button)
            button->setEnabled(m_recordings != nullptr);
}

void KPPianoView::setPerformer(KPNotePerformer* performer)
{
    if (m_performer && m_keysView) {
        m_performer->removeListener(m_keysView);
        m_performer->removeListener(m_sustainLight.get());
    }
    m_performer = performer;
    if (!m_keysView)
        return;
    if (m_buttonSustain) {
        m_buttonSustain->setEnabled(m_performer != nullptr);
        m_buttonSustain->setSelected(m_performer && m_performer->sustain());
    }
    m_touchPlayer = m_performer ? std::make_unique<KPTouchPlayer>(*m_performer) : nullptr;
    m_keysView->setKeysDelegate(m_touchPlayer.get());
    if (m_performer) {
        m_performer->addListener(m_keysView);
        m_performer->addListener(m_sustainLight.get());
    }
    if (m_settingsView)
        m_settingsView->setSoundPlayer(m_performer ? &m_performer->soundPlayer() : nullptr);
}

bool KPPianoView::isRecording() const
{
    return m_recordings && m_recordings->recording();
}

// Toolbar

void KPPianoView::octaveSelected(QAbstractButton* sender)
{
    if (const auto direction = octaveDirection(sender))
        m_keysView->changeOctave(*direction);
}

// An octave button is off while the strip cannot move its way.
void KPPianoView::updateOctaveButtons()
{
    for (KPButton* button : findChildren<KPButton*>()) {
        if (button->property("action").toString() != u"octaveSelected")
            continue;
        if (const auto direction = octaveDirection(button))
            button->setEnabled(m_keysView->canChangeOctave(*direction));
    }
}

void KPPianoView::recordSelected()
{
    if (!m_recordings)
        return;
    resetActionsExcluding(Recording | Metronome);
    if (isRecording())
        stopRecording();
    else
        startRecording();
}

void KPPianoView::playlistSelected()
{
    if (!m_showingPlaylist) {
        resetActionsExcluding(PlaylistPanel);
        showPlaylist();
    } else {
        resetActionsExcluding(PlaylistPanel | Metronome);
        closePlaylist();
    }
}

void KPPianoView::sustainSelected()
{
    if (m_performer)
        m_performer->setSustain(!m_performer->sustain());
}

void KPPianoView::settingsSelected()
{
    resetActionsExcluding(Metronome | SettingsPanel);
    if (m_showingSettings)
        closeSettings();
    else
        showSettings();
}

void KPPianoView::overlaySelected()
{
    resetActionsExcluding(Metronome);
}

void KPPianoView::resetActionsExcluding(uint32_t mask)
{
    if (!(mask & Recording))
        stopRecording();
    if (!(mask & PlaylistPanel))
        closePlaylist();
    if (!(mask & Metronome))
        stopMetronome();
    if (!(mask & SettingsPanel))
        closeSettings();
}

// Panels

void KPPianoView::showPlaylist()
{
    if (m_showingPlaylist || !m_playlistView)
        return;
    m_buttonPlaylist->setSelected(true);
    m_showingPlaylist = true;
    slidePanel(m_playlistView, m_playlistSlide, KPDeviceIdiom::isPad() ? 92 : 48, true);
    if (m_performer)
        m_performer->soundPlayer().saveSoundBank();
}

void KPPianoView::closePlaylist()
{
    if (!m_showingPlaylist)
        return;
    m_playlistView->close();
    if (m_recordings)
        m_recordings->stopPlayback();
    m_buttonPlaylist->setSelected(false);
    m_showingPlaylist = false;
    slidePanel(m_playlistView, m_playlistSlide, m_playlistView ? -m_playlistView->height() : 0,
               false);
    if (m_performer)
        m_performer->soundPlayer().restoreSoundBank();
}

void KPPianoView::showSettings()
{
    if (m_showingSettings)
        return;
    m_buttonSettings->setSelected(true);
    m_showingSettings = true;
    slidePanel(m_settingsView, m_settingsSlide, KPDeviceIdiom::isPad() ? 86 : 44, true);
    m_settingsView->setShowing(true);
}

void KPPianoView::closeSettings()
{
    if (!m_showingSettings)
        return;
    m_buttonSettings->setSelected(false);
    m_showingSettings = false;
    slidePanel(m_settingsView, m_settingsSlide, -m_settingsView->height(), false);
    m_settingsView->setShowing(false);
}

// Slides a panel to y (ease-out in, ease-in out) with the overlay's alpha; a new slide of the
// same panel replaces the running one. The overlay has one fade of its own: one panel closing
// while the other opens must not cut the first one's slide short.
void KPPianoView::slidePanel(QWidget* panel, QPointer<QAbstractAnimation>& running, int y, bool in)
{
    if (running)
        running->stop();
    const QEasingCurve curve(in ? QEasingCurve::OutQuad : QEasingCurve::InQuad);
    if (panel) {
        auto* slide = new QPropertyAnimation(panel, "pos", this);
        slide->setDuration(kSlideDuration);
        slide->setEasingCurve(curve);
        slide->setEndValue(QPoint(panel->x(), y));
        running = slide;
        slide->start(QAbstractAnimation::DeleteWhenStopped);
    }
    if (m_buttonOverlay) {
        if (m_overlayFade)
            m_overlayFade->stop();
        auto* fade = new QVariantAnimation(this);
        fade->setDuration(kSlideDuration);
        fade->setEasingCurve(curve);
        fade->setStartValue(m_overlayAlpha);
        fade->setEndValue(in ? 1.0 : 0.0);
        connect(fade, &QVariantAnimation::valueChanged, this,
                [this, in](const QVariant& alpha) { setOverlayAlpha(alpha.toReal(), in); });
        setOverlayAlpha(m_overlayAlpha, in);
        m_overlayFade = fade;
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

// A transparent overlay takes no touches, nor does one that fades out: the keys under it answer
// from the moment a panel starts to leave. The alpha goes into the veil's colour rather than an
// opacity effect: the effect's picture lands off its place on a screen of scale 2.
void KPPianoView::setOverlayAlpha(qreal alpha, bool takesTouches)
{
    if (!m_buttonOverlay)
        return;
    m_overlayAlpha = alpha;
    QPalette veil = m_buttonOverlay->palette();
    veil.setColor(QPalette::Window, QColor(0, 0, 0, int(std::lround(kVeilAlpha * alpha))));
    m_buttonOverlay->setPalette(veil);
    m_buttonOverlay->setAttribute(Qt::WA_TransparentForMouseEvents, !takesTouches || alpha < 0.01);
}

// Recording

void KPPianoView::setRecordImage(const char* name)
{
    m_buttonRecord->setImage(KPImages::named(tabletImageName(name)));
}

void KPPianoView::startRecording()
{
    setRecordImage("record_button_pressed_bright");
    KPDelayedCalls::perform(this, kBlinkInterval, [this] { switchRecordingHighlight(); });
    if (m_recordings)
        m_recordings->startRecording();
}

void KPPianoView::switchRecordingHighlight()
{
    const bool highlighted = m_buttonRecord->isHighlighted();
    setRecordImage(highlighted ? "record_button_pressed_bright" : "record_button_pressed_dull");
    m_buttonRecord->setHighlighted(!highlighted);
    KPDelayedCalls::perform(this, kBlinkInterval, [this] { switchRecordingHighlight(); });
}

void KPPianoView::stopRecording()
{
    KPDelayedCalls::cancelPreviousPerformRequests(this);
    setRecordImage("record_button");
    // The blink may have left the button highlighted.
    m_buttonRecord->setHighlighted(false);
    if (m_recordings)
        m_recordings->stopRecording();
}

void KPPianoView::showRecordingPopup()
{
    const QPixmap image =
        KPImages::named(KPDeviceIdiom::isPhone() ? QStringLiteral("notification_popup")
                                                 : QStringLiteral("notification_popup@2x"));
    const QSize size = image.isNull() ? QSize(0, 0) : image.deviceIndependentSize().toSize();

    auto* popup = new QWidget(this);
    popup->setAttribute(Qt::WA_TransparentForMouseEvents);
    popup->resize(size);
    auto* background = new QLabel(popup);
    background->setPixmap(image);
    background->resize(size);

    // The text keeps clear of the card's accent bar on the left and of its right edge: a long
    // translation gets a smaller font rather than touching either.
    auto* label = new QLabel(popup);
    label->setGeometry(
        popup->rect().adjusted(size.width() * 24 / 220, 0, -size.width() * 12 / 220, 0));
    const QString text = KPLocalization::string("SAVE");
    QFont font = label->font();
    font.setPixelSize(KPDeviceIdiom::isPad() ? 23 : 16);
    while (font.pixelSize() > 9 && QFontMetrics(font).horizontalAdvance(text) > label->width())
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, KPUtils::colorFromHex(QStringLiteral("444444")));
    label->setPalette(palette);
    label->setText(text);
    label->setAlignment(Qt::AlignCenter);

    QRectF frame(QPointF(0, 0), QSizeF(size));
    frame.moveCenter(QRectF(rect()).center());
    popup->move(int(std::floor(frame.x())),
                int(std::floor(frame.y())) + (KPDeviceIdiom::isPad() ? 35 : 15));
    popup->show();
    popup->raise();

    // The wait is a delayed call rather than a paused animation: Qt times animation pauses apart
    // from the animation driver.
    KPDelayedCalls::perform(popup, kPopupDelay, [popup] {
        auto* fade = new QPropertyAnimation(opacityOf(popup), "opacity", popup);
        fade->setDuration(200);
        fade->setEndValue(0.0);
        connect(fade, &QAbstractAnimation::finished, popup, &QObject::deleteLater);
        fade->start();
    });
}

// Metronome

void KPPianoView::metronomeSelected()
{
    if (m_metronome->beating())
        stopMetronome();
    else
        startMetronome();
}

void KPPianoView::startMetronome()
{
    m_metronome->startMetronome();
    m_buttonMetronome->setSelected(true);
}

void KPPianoView::stopMetronome()
{
    m_metronome->stopMetronome();
    m_buttonMetronome->setSelected(false);
}

void KPPianoView::metronomeMinusSelected()
{
    changeTempo(-int(buttonTempoStep()));
}

void KPPianoView::metronomePlusSelected()
{
    changeTempo(int(buttonTempoStep()));
}

bool KPPianoView::changeTempo(int beats)
{
    const uint32_t step = uint32_t(std::abs(beats));
    if (!(beats > 0 ? m_metronome->faster(step) : m_metronome->slower(step)))
        return false;
    updateMetronomeText();
    const uint32_t tempo = m_metronome->beatsPerMinute();
    m_buttonMetronomeMinus->setEnabled(tempo > KPMetronome::minimumTempo);
    m_buttonMetronomePlus->setEnabled(tempo < KPMetronome::maximumTempo);
    return true;
}

bool KPPianoView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return QWidget::eventFilter(watched, event);
    m_wheelRest += static_cast<QWheelEvent*>(event)->angleDelta().y();
    const int notches = m_wheelRest / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRest -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        changeTempo(notches);
    return true;
}

void KPPianoView::updateMetronomeText()
{
    if (m_labelMetronome)
        m_labelMetronome->setText(QStringLiteral("BPM: %1").arg(m_metronome->beatsPerMinute()));
}
