#include "recordings/KPPlaylistViewCell.h"

#include "ui/KPImages.h"

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
}

void KPPlaylistViewCell::showPlay(bool play)
{
    setEditingAccessoryView(play ? m_playButtonView : m_pauseButtonView);
}
