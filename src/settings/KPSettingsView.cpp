#include "settings/KPSettingsView.h"

#include "audio/KPSoundPlayer.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "settings/KPSettingsViewCell.h"
#include "ui/KPTableView.h"
#include "ui/KPUtils.h"

#include <algorithm>
#include <cmath>

namespace {

// The panel's own texts below the list: the list's text colour, a size for the layout.
void styleCaption(QWidget* caption)
{
    QFont font = caption->font();
    font.setPixelSize(KPDeviceIdiom::isPhone() ? 13 : 20);
    caption->setFont(font);
    QPalette palette = caption->palette();
    palette.setColor(QPalette::WindowText, KPUtils::colorFromHex(QStringLiteral("444444")));
    caption->setPalette(palette);
}

} // namespace

KPSettingsView::KPSettingsView(QWidget* parent) : QWidget(parent) {}

void KPSettingsView::awakeFromNib()
{
    if (m_wideBackView)
        m_wideBackView->show();
    if (m_tableView) {
        m_tableView->resize(m_tableView->width(), KPDeviceIdiom::isPhone() ? 147 : 420);
        m_tableView->setDataSource(this);
        addVolumeSlider();
    }
    addDynamicsSwitch();
    addSoundControls();
}

// A strip across the panel's foot, below everything else and lined up with the list; the panel
// and its background grow by it.
void KPSettingsView::addDynamicsSwitch()
{
    const int strip = KPDeviceIdiom::isPhone() ? 28 : 48;
    const int left = m_tableView ? m_tableView->x() : 0;
    m_dynamicsSwitch = addSwitch(KPLocalization::string("DYNAMICS"),
                                 QRect(left, height(), width() - 2 * left, strip));
    connect(m_dynamicsSwitch, &QCheckBox::toggled, this, &KPSettingsView::dynamicsChanged);
    setGeometry(x(), y() - strip, width(), height() + strip);
    if (m_wideBackView) {
        m_wideBackView->setScaledContents(true);
        m_wideBackView->resize(size());
    }
}

QCheckBox* KPSettingsView::addSwitch(const QString& text, const QRect& place)
{
    auto* box = new QCheckBox(text, this);
    box->setGeometry(place);
    styleCaption(box);
    return box;
}

// No taller panel, so that it leaves the keys below it free on a phone: "Local sound" takes the
// right half of the volume's row, the button that asks for the MIDI connections the right end of
// the dynamics strip.
void KPSettingsView::addSoundControls()
{
    if (!m_volume)
        return;
    const QRect row = m_volume->geometry();
    const int half = row.width() / 2;
    m_volume->resize(row.width() - half - row.height() / 2, row.height());
    m_localSoundSwitch = addSwitch(KPLocalization::string("LOCALSOUND"),
                                   QRect(row.right() + 1 - half, row.y(), half, row.height()));
    m_localSoundSwitch->setChecked(true);
    connect(m_localSoundSwitch, &QCheckBox::toggled, this, [this](bool on) {
        if (m_player)
            m_player->setLocalSound(on);
    });

    const QRect strip = m_dynamicsSwitch->geometry();
    const int buttonWidth = strip.height() * 2;
    m_dynamicsSwitch->resize(strip.width() - buttonWidth, strip.height());
    m_midiButton = new QPushButton(KPLocalization::string("MIDI"), this);
    m_midiButton->setObjectName(QStringLiteral("midiButton"));
    m_midiButton->setFont(m_dynamicsSwitch->font());
    m_midiButton->setFocusPolicy(Qt::NoFocus);
    m_midiButton->setGeometry(strip.right() + 1 - buttonWidth, strip.y() + 2, buttonWidth,
                              strip.height() - 4);
    m_midiButton->setToolTip(KPLocalization::string("MIDITITLE"));
    m_midiButton->setAccessibleName(KPLocalization::string("MIDITITLE"));
    connect(m_midiButton, &QPushButton::clicked, this, &KPSettingsView::midiConnectionsRequested);
}

// Under the list, as wide as it; the panel and its background grow to hold it.
void KPSettingsView::addVolumeSlider()
{
    const bool phone = KPDeviceIdiom::isPhone();
    const int margin = phone ? 6 : 12;
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setObjectName(QStringLiteral("volumeSlider"));
    m_volume->setRange(0, 100);
    m_volume->setValue(100);
    // Named by a label at its left, in the switch's font and colour.
    auto* label = new QLabel(KPLocalization::string("VOLUME"), this);
    label->setObjectName(QStringLiteral("volumeLabel"));
    styleCaption(label);
    label->setBuddy(m_volume);
    const int top = m_tableView->geometry().bottom() + 1 + margin;
    const int rowHeight = phone ? 24 : 40;
    const int labelWidth = label->sizeHint().width();
    label->setGeometry(m_tableView->x(), top, labelWidth, rowHeight);
    m_volume->setGeometry(m_tableView->x() + labelWidth + margin, top,
                          m_tableView->width() - labelWidth - margin, rowHeight);
    m_volume->setAccessibleName(KPLocalization::string("VOLUME"));
    m_volume->setToolTip(KPLocalization::string("VOLUME"));
    connect(m_volume, &QSlider::valueChanged, this, [this](int value) {
        if (m_player)
            m_player->setVolume(float(value) / 100.0f);
    });
    // A panel parked above the screen stays out of sight.
    const bool parked = y() + height() == 0;
    resize(width(), std::max(height(), m_volume->geometry().bottom() + 1 + margin));
    if (parked)
        move(x(), -height());
    if (m_wideBackView) {
        m_wideBackView->setScaledContents(true);
        m_wideBackView->resize(size());
    }
}

void KPSettingsView::setSoundPlayer(KPSoundPlayer* player)
{
    m_player = player;
    m_filled = false;
    setShowing(m_showing);
}

// The list is filled when the panel first shows with a player to ask.
void KPSettingsView::setShowing(bool showing)
{
    m_showing = showing;
    if (!showing || !m_player)
        return;
    // The volume may have been set before (kept from the last run).
    if (m_volume) {
        const QSignalBlocker quiet(m_volume);
        m_volume->setValue(int(std::lround(m_player->volume() * 100)));
    }
    if (m_localSoundSwitch) {
        const QSignalBlocker quiet(m_localSoundSwitch);
        m_localSoundSwitch->setChecked(m_player->localSound());
    }
    if (m_tableView && !m_filled) {
        m_filled = true;
        m_tableView->reloadData();
    }
}

// The caption is set again on every count: the "CHOOSE" format with the number of instruments.
int KPSettingsView::numberOfRowsInSection(KPTableView*, int)
{
    const int count = m_player ? int(m_player->soundBanks().size()) : 0;
    // Without texts the format is empty and there is nothing to fill in.
    const QString format = KPLocalization::string("CHOOSE");
    if (m_tableViewLabel)
        m_tableViewLabel->setText(format.isEmpty() ? format : format.arg(count));
    return count;
}

int KPSettingsView::heightForRowAtIndexPath(KPTableView*, int)
{
    return KPDeviceIdiom::isPhone() ? 36 : 70;
}

KPSmartTableViewCell* KPSettingsView::cellForRowAtIndexPath(KPTableView* tableView, int row)
{
    auto* cell = KPSmartTableViewCell::cellForTableView<KPSettingsViewCell>(tableView);
    const QString name = soundBankAt(row);
    QPalette palette = cell->textLabel()->palette();
    palette.setColor(QPalette::WindowText, KPUtils::colorFromHex(QStringLiteral("444444")));
    cell->textLabel()->setPalette(palette);
    cell->textLabel()->setText(KPLocalization::displayName(name));
    const bool active = m_player && m_player->activeSoundBank() == name;
    cell->showSelected(active);
    if (active)
        m_lastIndexPath = row;
    return cell;
}

void KPSettingsView::didSelectRowAtIndexPath(KPTableView*, int row)
{
    if (!m_player)
        return;
    m_player->useSoundBank(soundBankAt(row));
    selectCellForIndexPath(row);
}

QString KPSettingsView::soundBankAt(int row) const
{
    return m_player ? m_player->soundBanks().value(row).value(0) : QString();
}

void KPSettingsView::selectCellForIndexPath(int row)
{
    if (m_lastIndexPath)
        if (auto* cell = qobject_cast<KPSettingsViewCell*>(
                m_tableView->cellForRowAtIndexPath(*m_lastIndexPath)))
            cell->showSelected(false);
    if (auto* cell = qobject_cast<KPSettingsViewCell*>(m_tableView->cellForRowAtIndexPath(row)))
        cell->showSelected(true);
    m_lastIndexPath = row;
}
