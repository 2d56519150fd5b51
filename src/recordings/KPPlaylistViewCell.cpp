#include "recordings/KPPlaylistViewCell.h"

#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "recordings/KPNotesPicture.h"
#include "recordings/KPRecordingSummary.h"
#include "ui/KPImages.h"

#include <QBoxLayout>
#include <QLabel>

namespace {

QLabel* imageView(const QString& name, QWidget* parent)
{
    auto* view = new QLabel(parent);
    view->setPixmap(KPImages::named(name));
    view->resize(KPImages::sizeOf(name));
    view->hide();
    return view;
}

} // namespace

KPPlaylistViewCell::KPPlaylistViewCell(QWidget* parent)
    : KPSmartTableViewCell(cellIdentifier<KPPlaylistViewCell>(), parent)
{}

void KPPlaylistViewCell::awakeFromNib()
{
    m_playButtonView = imageView(QStringLiteral("playlist_play_button"), this);
    m_pauseButtonView = imageView(QStringLiteral("playlist_pause_button"), this);
    setEditingAccessoryView(m_playButtonView);
    addSummary();
}

// The row keeps its height: the name and the line under it share it, the picture fills it but
// for a margin.
void KPPlaylistViewCell::addSummary()
{
    auto* row = qobject_cast<QBoxLayout*>(layout());
    if (!row || !m_title)
        return;
    const bool phone = KPDeviceIdiom::isPhone();
    row->removeWidget(m_title);
    auto* text = new QVBoxLayout;
    text->setSpacing(0);
    text->setContentsMargins(0, phone ? 3 : 8, 0, phone ? 3 : 8);
    text->addWidget(m_title);
    m_details = new QLabel(this);
    QFont font = m_details->font();
    font.setPixelSize(phone ? 10 : 14);
    m_details->setFont(font);
    m_details->setStyleSheet(QStringLiteral("color: #8a8782;"));
    // Cut at the row's end rather than widening the row.
    m_details->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_details->setContentsMargins(phone ? 2 : 3, 0, 0, 0);
    text->addWidget(m_details);
    row->insertLayout(0, text, 1);
    m_notes = new KPNotesPicture(this);
    m_notes->setFixedSize(phone ? QSize(40, 32) : QSize(96, 55));
    row->addWidget(m_notes);
}

void KPPlaylistViewCell::showRecording(const KPPianoRecording& recording)
{
    if (m_details)
        m_details->setText(QStringLiteral("%1 · %2 · %3")
                               .arg(KPRecordingSummary::date(recording),
                                    KPLocalization::displayName(recording.soundBankName),
                                    KPRecordingSummary::length(recording)));
    if (m_notes)
        m_notes->setRecording(recording);
}

void KPPlaylistViewCell::showPlay(bool play)
{
    setEditingAccessoryView(play ? m_playButtonView : m_pauseButtonView);
}
