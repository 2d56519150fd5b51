#include "settings/KPMidiConnectionsView.h"

#include "midi/KPMidiInput.h"
#include "platform/KPLocalization.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Where an item's port is found again.
constexpr int kSystemRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;

} // namespace

KPMidiConnectionsView::KPMidiConnectionsView(KPMidiInput& input, QWidget* parent)
    : QDialog(parent), m_input(input)
{
    setObjectName(QStringLiteral("midiConnections"));
    setWindowTitle(KPLocalization::string("MIDITITLE"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(KPLocalization::string("MIDIINPUTS"), this));
    m_list = new QListWidget(this);
    m_list->setMinimumWidth(420);
    layout->addWidget(m_list);
    m_empty = new QLabel(KPLocalization::string("MIDINOINPUTS"), this);
    m_empty->setWordWrap(true);
    layout->addWidget(m_empty);
    auto* out = new QLabel(KPLocalization::string("MIDIOUT"), this);
    out->setWordWrap(true);
    layout->addWidget(out);
    m_playbackSwitch = new QCheckBox(KPLocalization::string("MIDIPLAYBACK"), this);
    layout->addWidget(m_playbackSwitch);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(KPLocalization::string("MIDICLOSE"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_playbackSwitch, &QCheckBox::toggled, this,
            &KPMidiConnectionsView::sendsPlaybackChanged);
    connect(m_list, &QListWidget::itemChanged, this, &KPMidiConnectionsView::itemChanged);
    // Later: an item is not rebuilt from inside its own signal.
    connect(&m_input, &KPMidiInput::portsChanged, this, &KPMidiConnectionsView::fill,
            Qt::QueuedConnection);
    fill();
}

void KPMidiConnectionsView::fill()
{
    const QSignalBlocker quiet(m_list);
    const int row = m_list->currentRow();
    m_list->clear();
    for (const KPMidiInput::Port& port : m_input.ports()) {
        const QString name =
            QStringLiteral("%1: %2").arg(port.system, QString::fromStdString(port.name));
        auto* item = new QListWidgetItem(
            KPLocalization::string(port.device ? "MIDIKEYBOARD" : "MIDIPROGRAM").arg(name), m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(port.connected ? Qt::Checked : Qt::Unchecked);
        item->setData(kSystemRole, port.system);
        item->setData(kNameRole, QString::fromStdString(port.name));
    }
    m_list->setCurrentRow(std::min(row, m_list->count() - 1));
    m_empty->setVisible(m_list->count() == 0);
}

// The mark shows what is, not what was asked: the listing that follows puts it right.
void KPMidiConnectionsView::itemChanged(QListWidgetItem* item)
{
    m_input.setConnected(item->data(kSystemRole).toString(),
                         item->data(kNameRole).toString().toStdString(),
                         item->checkState() == Qt::Checked);
    QMetaObject::invokeMethod(this, &KPMidiConnectionsView::fill, Qt::QueuedConnection);
}
