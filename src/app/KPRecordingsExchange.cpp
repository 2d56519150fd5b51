#include "app/KPRecordingsExchange.h"

#include "exchange/KPAudioExport.h"
#include "exchange/KPRecordingMidi.h"
#include "platform/KPLocalization.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPRecordingsManager.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

namespace {

// A render shorter than this is done before a bar would mean anything.
constexpr int kProgressDelayMilliseconds = 300;
constexpr int kProgressRefreshMilliseconds = 100;

QString titleOf(const KPPianoRecording& recording)
{
    return recording.recordingName.value_or(
        recording.recordingDate.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH.mm")));
}

QString suggestedPath(const KPPianoRecording& recording, const QString& suffix)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    QString name = titleOf(recording);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return QDir(folder).filePath(name + QLatin1Char('.') + suffix);
}

} // namespace

struct KPRecordingsExchange::Export
{
    QString path;
    QString title;
    std::atomic<int> permille = 0;
    std::atomic<bool> cancelled = false;
    bool written = false;
    QString error;
    std::unique_ptr<QThread> thread;
    QTimer progressTimer;
};

KPRecordingsExchange::KPRecordingsExchange(KPRecordingsManager& manager, QWidget* window)
    : m_manager(manager), m_window(window)
{}

// Quitting while a sound file renders stops the render; the half-written file goes.
KPRecordingsExchange::~KPRecordingsExchange()
{
    if (m_export) {
        m_export->cancelled = true;
        m_export->thread->wait();
    }
}

void KPRecordingsExchange::connectPlaylist(KPPlaylistView* playlist)
{
    connect(playlist, &KPPlaylistView::exportAsMidiRequested, this,
            &KPRecordingsExchange::exportAsMidi);
    connect(playlist, &KPPlaylistView::exportAsAudioRequested, this,
            &KPRecordingsExchange::exportAsAudio);
    connect(playlist, &KPPlaylistView::importRequested, this, &KPRecordingsExchange::chooseImport);
}

void KPRecordingsExchange::exportAsMidi(uint32_t position)
{
    if (position >= uint32_t(m_manager.recordings().size()))
        return;
    const QString path = QFileDialog::getSaveFileName(
        m_window, KPLocalization::string("EXPORTMIDITITLE"),
        suggestedPath(m_manager.recordings()[position], QStringLiteral("mid")),
        QStringLiteral("MIDI (*.mid)"));
    QString error;
    if (!path.isEmpty() && !writeMidi(position, path, &error))
        warn(KPLocalization::string("EXPORTFAILED").arg(QFileInfo(path).fileName(), error));
}

void KPRecordingsExchange::exportAsAudio(uint32_t position)
{
    if (position >= uint32_t(m_manager.recordings().size()) || isExporting())
        return;
    const QString path = QFileDialog::getSaveFileName(
        m_window, KPLocalization::string("EXPORTAUDIOTITLE"),
        suggestedPath(m_manager.recordings()[position], QStringLiteral("wav")),
        QStringLiteral("WAV (*.wav);;FLAC (*.flac)"));
    if (!path.isEmpty())
        startAudioExport(position, path);
}

void KPRecordingsExchange::chooseImport()
{
    const QString path = QFileDialog::getOpenFileName(
        m_window, KPLocalization::string("IMPORTTITLE"),
        QStandardPaths::writableLocation(QStandardPaths::MusicLocation),
        QStringLiteral("MIDI (*.mid *.midi)"));
    if (!path.isEmpty())
        importFile(path);
}

bool KPRecordingsExchange::writeMidi(uint32_t position, const QString& path, QString* error)
{
    if (position >= uint32_t(m_manager.recordings().size()))
        return false;
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(KPRecordingMidi::toMidi(m_manager.recordings()[position])) >= 0 && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

bool KPRecordingsExchange::startAudioExport(uint32_t position, const QString& path)
{
    if (isExporting() || position >= uint32_t(m_manager.recordings().size()))
        return false;
    const KPPianoRecording recording = m_manager.recordings()[position];
    m_export = std::make_unique<Export>();
    Export* job = m_export.get();
    job->path = path;
    job->title = QFileInfo(path).fileName();
    job->thread.reset(QThread::create([job, recording] {
        job->written = KPAudioExport::write(recording, job->path, &job->error, [job](double done) {
            job->permille = int(done * 1000);
            return !job->cancelled;
        });
    }));
    connect(job->thread.get(), &QThread::finished, this, &KPRecordingsExchange::finishAudioExport);

    job->progressTimer.setInterval(kProgressRefreshMilliseconds);
    connect(&job->progressTimer, &QTimer::timeout, this, [this, job] {
        if (!m_window)
            return;
        if (!m_progressBar) {
            m_progressBar = new QProgressBar(m_window);
            m_progressBar->setRange(0, 1000);
            m_progressBar->setTextVisible(true);
        }
        m_progressBar->setFormat(KPLocalization::string("EXPORTING").arg(job->title) +
                                 QStringLiteral(" %p%"));
        m_progressBar->setValue(job->permille);
        m_progressBar->setGeometry(0, m_window->height() - 24, m_window->width(), 24);
        m_progressBar->show();
        m_progressBar->raise();
    });
    QTimer::singleShot(kProgressDelayMilliseconds, &job->progressTimer,
                       qOverload<>(&QTimer::start));
    job->thread->start();
    return true;
}

void KPRecordingsExchange::finishAudioExport()
{
    const std::unique_ptr<Export> job = std::move(m_export);
    job->thread->wait();
    if (m_progressBar)
        m_progressBar->hide();
    if (!job->written && !job->cancelled)
        warn(KPLocalization::string("EXPORTFAILED").arg(job->title, job->error));
    emit audioExportFinished(job->path, job->written);
}

bool KPRecordingsExchange::importFile(const QString& path, const QDateTime& date)
{
    return importFiles({path}, {date}).constFirst();
}

QList<bool> KPRecordingsExchange::importFiles(const QStringList& paths,
                                              const QList<QDateTime>& dates)
{
    QList<bool> done;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString& path = paths[i];
        const QString name = QFileInfo(path).fileName();
        ++m_summary.handed;
        QString error;
        const std::optional<KPRecordingMidi::Import> imported =
            KPRecordingMidi::readFile(path, dates.value(i, QDateTime::currentDateTime()), &error);
        bool added = false;
        if (imported && m_manager.tookIn(imported->recording)) {
            qInfo("KPRecordingsExchange: %s is in the list already; not added again",
                  qPrintable(path));
            added = true;
        } else if (imported) {
            added = m_manager.addRecording(imported->recording, &error);
        }
        done << added;
        if (!added) {
            qWarning("KPRecordingsExchange: %s not imported: %s", qPrintable(path),
                     qPrintable(error));
            m_summary.failed = true;
            note(KPLocalization::string("IMPORTFAILED").arg(name, error));
            continue;
        }
        ++m_summary.imported;
        if (const QString leftOut = imported->leftOut(KPRecordingMidi::Import::Words::Localized);
            !leftOut.isEmpty())
            note(KPLocalization::string("IMPORTNOTICE")
                     .arg(*imported->recording.recordingName, leftOut));
    }
    showSummary();
    return done;
}

// A few lines name files; the rest are counted.
void KPRecordingsExchange::note(const QString& line)
{
    constexpr qsizetype kListedLines = 8;
    if (m_summary.lines.size() < kListedLines)
        m_summary.lines << line;
    else
        ++m_summary.unlisted;
}

// One message, shown without taking the focus from the keys, that later imports join while it
// is open; it starts afresh once closed. An import that went through whole tells nothing.
void KPRecordingsExchange::showSummary()
{
    if (m_summary.lines.isEmpty() || !m_window) {
        if (!m_summaryBox)
            m_summary = Summary();
        return;
    }
    QStringList text;
    if (m_summary.failed || m_summary.handed > 1)
        text << KPLocalization::string("IMPORTSUMMARY")
                    .arg(m_summary.imported)
                    .arg(m_summary.handed);
    text << m_summary.lines;
    if (m_summary.unlisted > 0)
        text << KPLocalization::string("IMPORTMORE").arg(m_summary.unlisted);
    if (!m_summaryBox) {
        m_summaryBox = new QMessageBox(QMessageBox::Information, QStringLiteral("Touch Piano"),
                                       QString(), QMessageBox::Ok, m_window);
        m_summaryBox->setAttribute(Qt::WA_DeleteOnClose);
        m_summaryBox->setAttribute(Qt::WA_ShowWithoutActivating);
        m_summaryBox->setWindowModality(Qt::NonModal);
        connect(m_summaryBox, &QObject::destroyed, this, [this] { m_summary = Summary(); });
    }
    m_summaryBox->setIcon(m_summary.failed ? QMessageBox::Warning : QMessageBox::Information);
    m_summaryBox->setText(text.join(QLatin1Char('\n')));
    m_summaryBox->show();
}

void KPRecordingsExchange::tell(const QString& text, QMessageBox::Icon icon)
{
    auto* box =
        new QMessageBox(icon, QStringLiteral("Touch Piano"), text, QMessageBox::Ok, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void KPRecordingsExchange::warn(const QString& text)
{
    tell(text, QMessageBox::Warning);
}
