#pragma once

#include "recordings/KPPlaylistViewCell.h"
#include "recordings/KPRecordingsPlaybackObserver.h"
#include "ui/KPTableViewDataSource.h"

#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <cstdint>

class KPRecordingsManager;
class KPTableView;
class QLineEdit;

// The list of saved recordings, newest first, or a hint when there are none. Always in editing
// mode: every row has a delete control. Touching a row plays its recording, touching the row
// that plays stops it; the row's field names it (trimmed; empty means no name). While the
// on-screen keyboard shows, the table shrinks above it and the row being named is kept in view.
// A right click or a long press opens a menu: export the row's recording, import a MIDI file.
class KPPlaylistView : public QWidget,
                       public KPTableViewDataSource,
                       public KPRecordingsPlaybackObserver
{
    Q_OBJECT
    // Where a row's interface file hands over the row it made.
    Q_PROPERTY(KPPlaylistViewCell* nibTableViewCell MEMBER m_nibTableViewCell)

public:
    // Sizes itself to its background and becomes the manager's playback observer.
    explicit KPPlaylistView(KPRecordingsManager& manager, QWidget* parent = nullptr);
    ~KPPlaylistView() override;

    int numberOfRowsInSection(KPTableView* tableView, int section) override;
    KPSmartTableViewCell* cellForRowAtIndexPath(KPTableView* tableView, int row) override;
    int heightForRowAtIndexPath(KPTableView* tableView, int row) override;
    void didSelectRowAtIndexPath(KPTableView* tableView, int row) override;
    void commitEditingStyle(KPTableView* tableView, int row) override;

    void textFieldDidBeginEditing(QLineEdit* textField);
    bool textFieldShouldReturn(QLineEdit* textField);
    void textFieldDidEndEditing(QLineEdit* textField);

    void playbackComplete() override;
    void recordingAdded() override;

    // The keyboard's final frame in window coordinates and its animation time.
    void keyboardWillShow(const QRectF& keyboardFrame, double animationDuration);
    void keyboardDidShow();
    void keyboardWillHide();

    // Ends any name editing, saving the name, and closes its menu. (A panel is never a window:
    // QWidget's own close is of no use here.)
    void close();
    // Ends any name editing, keeping the name stored before it.
    void cancelEditing();
    void saveRecordingName();
    void emptyCheck();
    void offsetTable();
    void playRecording(KPPlaylistViewCell* cell);
    void pauseRecording(KPPlaylistViewCell* cell);
    KPPlaylistViewCell* cellForTextField(QLineEdit* textField) const;

    QWidget* emptyView() const { return m_emptyView; }
    KPTableView* tableView() const { return m_tableView; }
    int32_t activeCellIndex() const { return m_activeCellIndex; }
    QLineEdit* activeTextField() const { return m_activeTextField; }

    // The menu of a right click or long press (`byTouch`) at `position` (in this view): export
    // the row there, when there is one, or import; nothing over the title.
    void showMenu(const QPoint& position, bool byTouch = false);

signals:
    // Asked for from the menu; the files are someone else's business.
    void exportAsMidiRequested(uint32_t position);
    void exportAsAudioRequested(uint32_t position);
    void importRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void inputMethodVisibilityChanged();
    KPPlaylistViewCell* loadCell();
    int rowHeight() const;

    KPRecordingsManager& m_manager;
    QRectF m_keyboardSize;
    double m_keyboardAnimationDuration = 0;
    float m_restoreOffset = 0;
    uint32_t m_tableHeightReduction = 0;
    bool m_tableShrunk = false;
    QWidget* m_emptyView = nullptr;
    KPTableView* m_tableView = nullptr;
    KPPlaylistViewCell* m_nibTableViewCell = nullptr;
    int32_t m_activeCellIndex = -1;
    QPointer<QLineEdit> m_activeTextField;
};
