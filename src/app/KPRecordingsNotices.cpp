#include "app/KPRecordingsNotices.h"

#include "platform/KPLocalization.h"
#include "recordings/KPRecordingsManager.h"

#include <QEvent>
#include <QLabel>
#include <QStringList>

KPRecordingsNotices::KPRecordingsNotices(KPRecordingsManager& manager, QWidget* window)
    : m_window(window)
{
    if (m_window)
        m_window->installEventFilter(this);
    const QString& problem = manager.archiveProblem();
    if (manager.unreadableRecordings() > 0)
        set(Line::Archive, KPLocalization::string("ARCHIVEPARTLY")
                               .arg(manager.unreadableRecordings())
                               .arg(problem));
    else if (!problem.isEmpty())
        set(Line::Archive, KPLocalization::string("ARCHIVEUNREADABLE").arg(problem));
    // Told once for a run of failed saves, however often it is tried again.
    connect(&manager, &KPRecordingsManager::saveFailed, this, [this](const QString& error) {
        if (!m_lines.contains(Line::Saving))
            set(Line::Saving, KPLocalization::string("SAVEFAILED").arg(error));
    });
    connect(&manager, &KPRecordingsManager::saveRecovered, this, [this] { clear(Line::Saving); });
    connect(&manager, &KPRecordingsManager::changeRefused, this, [this](const QString& reason) {
        set(Line::Refused, KPLocalization::string("ARCHIVETOOLARGE").arg(reason));
    });
}

void KPRecordingsNotices::set(Line line, const QString& text)
{
    m_lines[line] = text;
    refresh();
}

void KPRecordingsNotices::clear(Line line)
{
    m_lines.erase(line);
    refresh();
}

// The bar is a label: it takes no focus, and a click on it, the only input it takes, lets the
// lines go that no later event would take away.
void KPRecordingsNotices::refresh()
{
    if (!m_window)
        return;
    if (!m_bar) {
        m_bar = new QLabel(m_window);
        m_bar->setObjectName(QStringLiteral("recordingsNotice"));
        m_bar->setFocusPolicy(Qt::NoFocus);
        m_bar->setAttribute(Qt::WA_ShowWithoutActivating);
        m_bar->setWordWrap(true);
        m_bar->setMargin(6);
        m_bar->setAutoFillBackground(true);
        m_bar->setStyleSheet(
            QStringLiteral("QLabel { background: #FFF4CE; color: #3B3B3B; border-bottom: 1px "
                           "solid #C8A600; }"));
        m_bar->installEventFilter(this);
    }
    QStringList texts;
    for (const auto& [line, text] : m_lines)
        texts << text;
    m_bar->setText(texts.join(QLatin1Char('\n')));
    m_bar->setVisible(!texts.isEmpty());
    const int width = m_window->width();
    m_bar->setGeometry(0, 0, width, m_bar->heightForWidth(width));
    m_bar->raise();
}

bool KPRecordingsNotices::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Resize && m_bar && m_bar->isVisible())
        refresh();
    if (watched == m_bar && event->type() == QEvent::MouseButtonRelease) {
        std::erase_if(m_lines, [](const auto& entry) { return entry.first != Line::Saving; });
        refresh();
    }
    return QObject::eventFilter(watched, event);
}
