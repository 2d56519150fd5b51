#include "recordings/KPPlaylistView.h"

#include "platform/KPBundle.h"
#include "platform/KPDelayedCalls.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "platform/KPNibWiring.h"
#include "platform/KPUiLoader.h"
#include "recordings/KPRecordingsManager.h"
#include "ui/KPImages.h"
#include "ui/KPTableView.h"
#include "ui/KPUtils.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QGestureEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPropertyAnimation>
#include <QScrollBar>

#include <cmath>

namespace {

// The platform's keyboard animation time; the input method does not tell it.
constexpr double kKeyboardAnimationDuration = 0.25;

// A whole, unsigned number of points: the fraction cut off, below zero giving 0.
uint32_t whole(double x)
{
    return x <= 0 ? 0u : uint32_t(x);
}

} // namespace

KPPlaylistView::KPPlaylistView(KPRecordingsManager& manager, QWidget* parent)
    : QWidget(parent), m_manager(manager)
{
    static const bool registered = [] {
        KPUiLoader::registerClass<KPPlaylistViewCell>(QStringLiteral("KPPlaylistViewCell"));
        return true;
    }();
    Q_UNUSED(registered);

    const bool phone = KPDeviceIdiom::isPhone();
    const QString background =
        phone ? QStringLiteral("playlist_table") : QStringLiteral("playlist_table-ipad");
    const QSize size = KPImages::sizeOf(background);
    resize(size);

    const QRect tableFrame = KPDeviceIdiom::isPad()
                                 ? QRect(32, 46, size.width() - 32 - 30, size.height() - 46 - 36)
                                 : QRect(14, 23, size.width() - 14 - 14, size.height() - 23 - 18);
    m_tableView = new KPTableView(this);
    m_tableView->setGeometry(tableFrame);
    m_tableView->setDataSource(this);
    m_tableView->setEditing(true);
    m_tableView->setAllowsSelectionDuringEditing(true);
    m_tableView->reloadData();
    m_tableView->setStyleSheet(
        QStringLiteral("KPTableView, KPTableView > QWidget { background: white; }"));
    // Partial gestures too: a long press handed to the row's field under the finger, as a scaled
    // window hands it, still reaches the panel when it ends.
    grabGesture(Qt::TapAndHoldGesture, Qt::ReceivePartialGestures);

    m_emptyView = new QWidget(this);
    m_emptyView->setGeometry(tableFrame);
    m_emptyView->setAutoFillBackground(true);
    QPalette white = m_emptyView->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_emptyView->setPalette(white);

    const QString iconName =
        phone ? QStringLiteral("record_button") : QStringLiteral("record_button@2x");
    auto* icon = new QLabel(m_emptyView);
    icon->setPixmap(KPImages::named(iconName));
    icon->resize(KPImages::sizeOf(iconName));
    auto* iconAlpha = new QGraphicsOpacityEffect(icon);
    iconAlpha->setOpacity(0.8);
    icon->setGraphicsEffect(iconAlpha);

    // Right of the icon, wrapping inside the hint view with the icon's margin on its right:
    // moved right at its full width, the text would run out of the view and be cut mid-word.
    const int textLeft = phone ? 80 : 120;
    auto* hint = new QLabel(m_emptyView);
    hint->setGeometry(m_emptyView->rect().adjusted(textLeft, 0, -30, 0));
    QFont font = hint->font();
    font.setPixelSize(phone ? 14 : 20);
    hint->setFont(font);
    QPalette text = hint->palette();
    text.setColor(QPalette::WindowText, KPUtils::colorFromHex(QStringLiteral("444444")));
    hint->setPalette(text);
    hint->setWordWrap(true);
    hint->setText(KPLocalization::string("NORECORD"));
    icon->move(30, int(std::floor((m_emptyView->height() - icon->height()) * 0.5)));

    // The frame lies over the table and the hint; its window onto them is transparent.
    auto* frame = new QLabel(this);
    frame->setPixmap(KPImages::named(background));
    frame->resize(size);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);

    // The panel's title in the frame's band, right of its accent mark.
    auto* title = new QLabel(KPLocalization::string("RECORDINGS"), this);
    title->setObjectName(QStringLiteral("panelTitle"));
    title->setGeometry(phone ? QRect(20, 3, size.width() - 40, 19)
                             : QRect(32, 10, size.width() - 64, 30));
    QFont bold = title->font();
    bold.setPixelSize(phone ? 13 : 20);
    bold.setBold(true);
    title->setFont(bold);
    title->setPalette(text);

    m_manager.setPlaybackObserver(this);
    emptyCheck();
    connect(QGuiApplication::inputMethod(), &QInputMethod::visibleChanged, this,
            &KPPlaylistView::inputMethodVisibilityChanged);
}

KPPlaylistView::~KPPlaylistView()
{
    if (m_manager.playbackObserver() == this)
        m_manager.setPlaybackObserver(nullptr);
}

int KPPlaylistView::rowHeight() const
{
    return KPDeviceIdiom::isPad() ? 75 : 46;
}

void KPPlaylistView::emptyCheck()
{
    const bool empty = m_manager.recordings().isEmpty();
    m_tableView->setHidden(empty);
    m_emptyView->setHidden(!empty);
}

int KPPlaylistView::numberOfRowsInSection(KPTableView*, int)
{
    return int(m_manager.recordings().size());
}

int KPPlaylistView::heightForRowAtIndexPath(KPTableView*, int)
{
    return rowHeight();
}

KPSmartTableViewCell* KPPlaylistView::cellForRowAtIndexPath(KPTableView* tableView, int row)
{
    auto* cell = qobject_cast<KPPlaylistViewCell*>(
        tableView->dequeueReusableCell(KPSmartTableViewCell::cellIdentifier<KPPlaylistViewCell>()));
    if (!cell)
        cell = loadCell();
    if (!cell || !cell->title())
        return cell;
    const std::optional<QString> name = m_manager.titleForRecording(uint32_t(row));
    cell->title()->setText(name.value_or(QString()));
    if (!name)
        cell->title()->setPlaceholderText(KPLocalization::string("TAPTO"));
    cell->showPlay(row != m_manager.playingIndex());
    cell->showRecording(m_manager.recordings().at(row));
    return cell;
}

// The row's interface file hands its row over through nibTableViewCell.
KPPlaylistViewCell* KPPlaylistView::loadCell()
{
    const QString name = KPDeviceIdiom::isPhone() ? QStringLiteral("KPPlaylistViewCell_iPhone")
                                                  : QStringLiteral("KPPlaylistViewCell_iPad");
    QFile file(KPBundle::pathForResource(name, QStringLiteral("ui")));
    QWidget* root = nullptr;
    if (file.open(QIODevice::ReadOnly)) {
        KPUiLoader loader;
        root = loader.load(&file, m_tableView->widget());
    }
    if (!root) {
        qWarning("KPPlaylistView: Could not load %s", qPrintable(name));
        return nullptr;
    }
    KPNibWiring::wire(root, this, [](QWidget*, const QString&) {});
    KPPlaylistViewCell* cell = m_nibTableViewCell;
    m_nibTableViewCell = nullptr;
    if (!cell) {
        root->deleteLater();
        return nullptr;
    }
    cell->setBackgroundColor(Qt::white);
    if (QLineEdit* title = cell->title()) {
        title->installEventFilter(this);
        connect(title, &QLineEdit::returnPressed, this,
                [this, title] { textFieldShouldReturn(title); });
    }
    return cell;
}

void KPPlaylistView::didSelectRowAtIndexPath(KPTableView* tableView, int row)
{
    auto* cell = qobject_cast<KPPlaylistViewCell*>(tableView->cellForRowAtIndexPath(row));
    if (!cell)
        return;
    if (m_manager.playingIndex() == row)
        pauseRecording(cell);
    else
        playRecording(cell);
}

void KPPlaylistView::playRecording(KPPlaylistViewCell* cell)
{
    cell->showPlay(false);
    const int row = m_tableView->indexPathForCell(cell);
    if (row >= 0)
        m_manager.startPlaybackForRecording(uint32_t(row));
}

void KPPlaylistView::pauseRecording(KPPlaylistViewCell* cell)
{
    cell->showPlay(true);
    m_manager.stopPlayback();
}

void KPPlaylistView::playbackComplete()
{
    if (m_manager.playingIndex() == -1)
        return;
    if (auto* cell = qobject_cast<KPPlaylistViewCell*>(
            m_tableView->cellForRowAtIndexPath(m_manager.playingIndex())))
        cell->showPlay(true);
}

// A name being typed belongs to the recording it was begun on, which the new one has pushed one
// place down: the edit ends there, saved under that recording, before the rows are made again.
void KPPlaylistView::recordingAdded()
{
    if (m_activeTextField) {
        ++m_activeCellIndex;
        close();
    }
    emptyCheck();
    m_tableView->reloadData();
}

// The name being edited is saved while the positions still match.
void KPPlaylistView::commitEditingStyle(KPTableView* tableView, int row)
{
    close();
    m_manager.deleteRecording(uint32_t(row));
    tableView->deleteRow(row);
    emptyCheck();
}

KPPlaylistViewCell* KPPlaylistView::cellForTextField(QLineEdit* textField) const
{
    for (QWidget* view = textField; view; view = view->parentWidget())
        if (auto* cell = qobject_cast<KPPlaylistViewCell*>(view))
            return cell;
    return nullptr;
}

void KPPlaylistView::textFieldDidBeginEditing(QLineEdit* textField)
{
    m_activeCellIndex = m_tableView->indexPathForCell(cellForTextField(textField));
    m_activeTextField = textField;
}

bool KPPlaylistView::textFieldShouldReturn(QLineEdit* textField)
{
    KPUtils::endEditing(textField);
    // Losing focus ends the edit; a field that had none ends it here.
    textFieldDidEndEditing(textField);
    return true;
}

void KPPlaylistView::textFieldDidEndEditing(QLineEdit* textField)
{
    if (textField != m_activeTextField)
        return;
    saveRecordingName();
    m_activeCellIndex = -1;
    m_activeTextField = nullptr;
}

void KPPlaylistView::saveRecordingName()
{
    if (!m_activeTextField || m_activeCellIndex < 0)
        return;
    const QString name = KPUtils::trimmedString(m_activeTextField->text());
    m_manager.changeNameForRecording(uint32_t(m_activeCellIndex),
                                     name.isEmpty() ? std::nullopt : std::optional(name));
}

// The field shows the stored name again and nothing is saved.
void KPPlaylistView::cancelEditing()
{
    QLineEdit* field = m_activeTextField;
    if (!field)
        return;
    const std::optional<QString> stored = m_manager.titleForRecording(uint32_t(m_activeCellIndex));
    m_activeCellIndex = -1;
    m_activeTextField = nullptr;
    field->setText(stored.value_or(QString()));
    KPUtils::endEditing(field);
}

void KPPlaylistView::close()
{
    if (QLineEdit* field = m_activeTextField) {
        textFieldDidEndEditing(field);
        KPUtils::endEditing(field);
    }
    // A menu left over the keys would take their next click.
    for (QMenu* menu : findChildren<QMenu*>())
        menu->close();
}

bool KPPlaylistView::eventFilter(QObject* watched, QEvent* event)
{
    if (auto* field = qobject_cast<QLineEdit*>(watched)) {
        // Return ends the name and Esc cancels it here, before any window shortcut on the same
        // key sees it.
        if (event->type() == QEvent::ShortcutOverride) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)
                event->accept();
        } else if (event->type() == QEvent::KeyPress &&
                   static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancelEditing();
            return true;
        } else if (event->type() == QEvent::ContextMenu) {
            // The row's menu rather than the field's: the name field spans the row.
            showMenu(mapFromGlobal(static_cast<QContextMenuEvent*>(event)->globalPos()));
            return true;
        } else if (event->type() == QEvent::FocusIn)
            textFieldDidBeginEditing(field);
        else if (event->type() == QEvent::FocusOut)
            textFieldDidEndEditing(field);
    }
    return QWidget::eventFilter(watched, event);
}

void KPPlaylistView::showMenu(const QPoint& position, bool byTouch)
{
    // The list's menu, for the list only: the title band above it offers nothing.
    if (!m_tableView->geometry().contains(position))
        return;
    int row = -1;
    for (QWidget* widget = childAt(position); widget && widget != this && row < 0;
         widget = widget->parentWidget()) {
        if (auto* cell = qobject_cast<KPSmartTableViewCell*>(widget))
            row = m_tableView->indexPathForCell(cell);
    }
    // Asked for by a click, a window of its own, as menus are, rather than drawn into the scaled
    // screen: it then takes the keys while it is open, and a click beside it still reaches what
    // was clicked. (Made with its parent, it would be drawn into the screen before the flag could
    // say otherwise.) Asked for by a finger, it stays in the screen, where the finger lifting
    // from the row leaves it open.
    auto* menu = new QMenu;
    menu->setParent(this,
                    menu->windowFlags() | (byTouch ? Qt::Widget : Qt::BypassGraphicsProxyWidget));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (row >= 0) {
        menu->addAction(KPLocalization::string("EXPORTMIDI"), this,
                        [this, row] { emit exportAsMidiRequested(uint32_t(row)); });
        menu->addAction(KPLocalization::string("EXPORTAUDIO"), this,
                        [this, row] { emit exportAsAudioRequested(uint32_t(row)); });
        menu->addSeparator();
    }
    menu->addAction(KPLocalization::string("IMPORTMIDI"), this, [this] { emit importRequested(); });
    menu->popup(mapToGlobal(position));
}

void KPPlaylistView::contextMenuEvent(QContextMenuEvent* event)
{
    showMenu(mapFromGlobal(event->globalPos()));
}

// A finger held still on the list asks for the menu, as a right click does.
bool KPPlaylistView::event(QEvent* event)
{
    if (event->type() == QEvent::Gesture) {
        auto* gestures = static_cast<QGestureEvent*>(event);
        if (QGesture* hold = gestures->gesture(Qt::TapAndHoldGesture);
            hold && hold->state() == Qt::GestureFinished) {
            showMenu(mapFromGlobal(hold->hotSpot().toPoint()), true);
            gestures->accept(hold);
            return true;
        }
    }
    return QWidget::event(event);
}

// The input method tells whether its keyboard shows and where; it says nothing of the
// animation, which takes the platform's usual time.
void KPPlaylistView::inputMethodVisibilityChanged()
{
    const QInputMethod* input = QGuiApplication::inputMethod();
    if (input->isVisible()) {
        keyboardWillShow(input->keyboardRectangle(), kKeyboardAnimationDuration);
        KPDelayedCalls::perform(this,
                                std::chrono::milliseconds(int(kKeyboardAnimationDuration * 1000)),
                                [this] { keyboardDidShow(); });
    } else {
        KPDelayedCalls::cancelPreviousPerformRequests(this);
        keyboardWillHide();
    }
}

void KPPlaylistView::keyboardWillShow(const QRectF& keyboardFrame, double animationDuration)
{
    m_keyboardSize = keyboardFrame;
    m_keyboardAnimationDuration = animationDuration;
    offsetTable();
}

// Scrolls the row being named to just above the keyboard; with no name being edited there is
// no such row and nothing scrolls.
void KPPlaylistView::offsetTable()
{
    const QWidget* screen = window();
    const double S = screen->height();
    const uint32_t top = whole(mapTo(screen, QPoint(0, 0)).y() + m_tableView->y());
    const uint32_t bottom = whole(double(top) + m_tableView->height());
    const uint32_t gap = whole(S - bottom);
    m_tableHeightReduction = whole(m_keyboardSize.height() - gap);
    m_restoreOffset = float(m_tableView->contentOffset());
    if (m_activeCellIndex < 0)
        return;
    const uint32_t visibleBottom =
        whole(double(top) + m_tableView->height() - m_tableHeightReduction);
    const int32_t rowTop =
        int32_t(whole(double(int64_t(top) + int64_t(rowHeight()) * m_activeCellIndex) -
                      m_tableView->contentOffset()));
    const int32_t rowBottom = rowTop + rowHeight();
    const int shift = rowBottom > int32_t(visibleBottom) ? rowBottom - int32_t(visibleBottom) : 0;
    if (shift == 0)
        return;
    // Room to scroll the last rows up before the table shrinks.
    m_tableView->setBottomInset(int(m_tableHeightReduction));
    auto* scroll = new QPropertyAnimation(m_tableView->verticalScrollBar(), "value", this);
    scroll->setDuration(int(m_keyboardAnimationDuration * 1000));
    scroll->setEndValue(m_tableView->contentOffset() + shift);
    scroll->start(QAbstractAnimation::DeleteWhenStopped);
}

void KPPlaylistView::keyboardDidShow()
{
    if (m_tableShrunk)
        return;
    m_tableShrunk = true;
    m_tableView->resize(m_tableView->width(), m_tableView->height() - int(m_tableHeightReduction));
}

void KPPlaylistView::keyboardWillHide()
{
    m_tableView->setContentOffset(int(m_restoreOffset));
    m_tableView->setBottomInset(0);
    if (!m_tableShrunk)
        return;
    m_tableShrunk = false;
    auto* grow = new QPropertyAnimation(m_tableView, "size", this);
    grow->setDuration(int(m_keyboardAnimationDuration * 1000));
    grow->setEndValue(
        QSize(m_tableView->width(), m_tableView->height() + int(m_tableHeightReduction)));
    grow->start(QAbstractAnimation::DeleteWhenStopped);
}
