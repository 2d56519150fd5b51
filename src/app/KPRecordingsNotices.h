#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <map>

class KPRecordingsManager;
class QLabel;
class QWidget;

// Tells the user in the window what happened to the recordings file: that it could not be read
// at start, or only in part (and where it was kept), that a recording was not kept because the
// file would grow too large, and that saving fails, once per run of failures, with the system's
// reason. The notices are lines of a bar across the top of the window that never takes the focus
// or a key: playing and recording go on under it. The saving line goes when a later save
// succeeds; the others when the bar is clicked.
class KPRecordingsNotices : public QObject
{
    Q_OBJECT

public:
    KPRecordingsNotices(KPRecordingsManager& manager, QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Line { Archive, Saving, Refused };

    void set(Line line, const QString& text);
    void clear(Line line);
    void refresh();

    QPointer<QWidget> m_window;
    QPointer<QLabel> m_bar;
    std::map<Line, QString> m_lines;
};
