#pragma once

#include <QPointer>
#include <QWidget>

class KPViewController;

// The application's one window: fixed in landscape at the idiom's size in points, showing its
// root view controller's view. MIDI files can be dropped on it.
class KPWindow : public QWidget
{
    Q_OBJECT

public:
    explicit KPWindow(const QSize& size, QWidget* parent = nullptr);

    void setRootViewController(KPViewController* controller);
    KPViewController* rootViewController() const { return m_rootViewController; }
    void makeKeyAndVisible();

signals:
    // MIDI files dropped on the window, as local paths.
    void midiFilesDropped(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QPointer<KPViewController> m_rootViewController;
};
