#include "ui/KPSmartTableViewCell.h"

#include "platform/KPLocalization.h"

#include <QLabel>
#include <QToolButton>

namespace {
constexpr int kMargin = 10;
constexpr int kDeleteControlSize = 24;
} // namespace

KPSmartTableViewCell::KPSmartTableViewCell(const QString& cellIdentifier, QWidget* parent)
    : QWidget(parent), m_reuseIdentifier(cellIdentifier)
{}

void KPSmartTableViewCell::setBackgroundColor(const QColor& color)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, color);
    setPalette(palette);
    setAutoFillBackground(true);
}

QLabel* KPSmartTableViewCell::textLabel()
{
    if (!m_textLabel) {
        m_textLabel = new QLabel(this);
        m_textLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        layoutAccessories();
    }
    return m_textLabel;
}

void KPSmartTableViewCell::setAccessoryView(QWidget* view)
{
    replaceView(m_accessoryView, view);
}

void KPSmartTableViewCell::setEditingAccessoryView(QWidget* view)
{
    replaceView(m_editingAccessoryView, view);
}

// The view given up stays the cell's child, hidden: a cell may switch back to it.
void KPSmartTableViewCell::replaceView(QPointer<QWidget>& slot, QWidget* view)
{
    if (slot && slot != view)
        slot->hide();
    slot = view;
    if (view)
        view->setParent(this);
    layoutAccessories();
}

void KPSmartTableViewCell::setEditing(bool editing)
{
    m_editing = editing;
    if (editing && !m_deleteControl) {
        // The toolkit's red round minus, and the delete button it offers.
        m_deleteControl = new QToolButton(this);
        m_deleteControl->setObjectName(QStringLiteral("deleteControl"));
        m_deleteControl->setText(QStringLiteral("\u2212"));
        m_deleteControl->setFixedSize(kDeleteControlSize, kDeleteControlSize);
        m_deleteControl->setStyleSheet(QStringLiteral(
            "QToolButton { background: #E0322B; color: white; border: 2px solid white;"
            " border-radius: 12px; font-weight: bold; }"));
        connect(m_deleteControl, &QToolButton::clicked, this,
                [this] { showDeleteConfirmation(!showsDeleteConfirmation()); });
        m_deleteConfirmation = new QToolButton(this);
        m_deleteConfirmation->setObjectName(QStringLiteral("deleteConfirmation"));
        m_deleteConfirmation->setText(KPLocalization::string("DELETE"));
        m_deleteConfirmation->setStyleSheet(
            QStringLiteral("QToolButton { background: #E0322B; color: white; border-radius: 4px;"
                           " padding: 4px 10px; font-weight: bold; }"));
        connect(m_deleteConfirmation, &QToolButton::clicked, this, [this] {
            showDeleteConfirmation(false);
            emit deleteConfirmed();
        });
    }
    if (m_deleteControl)
        m_deleteControl->setVisible(editing);
    showDeleteConfirmation(false);
}

bool KPSmartTableViewCell::showsDeleteConfirmation() const
{
    return m_deleteConfirmation && !m_deleteConfirmation->isHidden();
}

void KPSmartTableViewCell::showDeleteConfirmation(bool show)
{
    if (m_deleteConfirmation)
        m_deleteConfirmation->setVisible(show && m_editing);
    layoutAccessories();
}

void KPSmartTableViewCell::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutAccessories();
}

// Delete control at the left, accessory (or the offered delete button) at the right end, the
// text label between them. Whether the plain accessory shows is its owner's choice.
void KPSmartTableViewCell::layoutAccessories()
{
    int left = kMargin;
    if (m_deleteControl && m_editing) {
        m_deleteControl->move(left, (height() - kDeleteControlSize) / 2);
        m_deleteControl->raise();
        left += kDeleteControlSize + kMargin;
    }
    const bool confirming = showsDeleteConfirmation();
    if (m_editing && m_accessoryView)
        m_accessoryView->hide();
    if (m_editingAccessoryView)
        m_editingAccessoryView->setVisible(m_editing && !confirming);
    int right = width() - kMargin;
    if (confirming) {
        m_deleteConfirmation->adjustSize();
        right -= m_deleteConfirmation->width();
        m_deleteConfirmation->move(right, (height() - m_deleteConfirmation->height()) / 2);
        m_deleteConfirmation->raise();
    } else if (QWidget* shown = m_editing ? m_editingAccessoryView : m_accessoryView) {
        const QSize size = shown->sizeHint().isValid() ? shown->sizeHint() : shown->size();
        right -= size.width();
        shown->setGeometry(right, (height() - size.height()) / 2, size.width(), size.height());
    }
    if (m_textLabel)
        m_textLabel->setGeometry(left, 0, std::max(right - kMargin - left, 0), height());
}
