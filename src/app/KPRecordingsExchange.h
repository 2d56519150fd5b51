#pragma once

#include <QDateTime>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

class KPPlaylistView;
class KPRecordingsManager;
class QMessageBox;
class QProgressBar;
class QWidget;

// Recordings to and from files for the window: the playlist's exports and import, and MIDI files
// dropped on the window or named at start. Sound files render on a thread of their own while the
// piano plays on, with a progress bar at the foot of the window once a render takes a while.
// Failures are told in a message that does not stop playing. Imports are told in one summary
// (how many were imported, what failed and what was left out), which later imports join while
// it is open, so that any number of files makes one message.
class KPRecordingsExchange : public QObject
{
    Q_OBJECT

public:
    KPRecordingsExchange(KPRecordingsManager& manager, QWidget* window);
    ~KPRecordingsExchange() override;

    void connectPlaylist(KPPlaylistView* playlist);

    // Ask where, then write.
    void exportAsMidi(uint32_t position);
    void exportAsAudio(uint32_t position);
    void chooseImport();

    // The recording at `position` into a MIDI file; the reason in `error` on failure.
    bool writeMidi(uint32_t position, const QString& path, QString* error);
    // Renders the recording at `position` into a sound file (.wav or .flac) in the background;
    // false when one is rendering already or there is no such recording.
    bool startAudioExport(uint32_t position, const QString& path);
    bool isExporting() const { return m_export != nullptr; }
    // A MIDI file as a new recording at the top of the list, dated `date` (now by default).
    bool importFile(const QString& path, const QDateTime& date = QDateTime::currentDateTime());
    // Each file as importFile() does, one at a time, dated as given (now where no date is
    // given). A file whose take came into the list from the archive (written there by a launch
    // that gave up waiting for this window) counts as imported and is not added twice.
    QList<bool> importFiles(const QStringList& paths, const QList<QDateTime>& dates = {});

signals:
    void audioExportFinished(const QString& path, bool written);

private:
    struct Export;

    struct Summary
    {
        qsizetype handed = 0;
        qsizetype imported = 0;
        bool failed = false;
        QStringList lines;
        qsizetype unlisted = 0;
    };

    void finishAudioExport();
    void tell(const QString& text, QMessageBox::Icon icon = QMessageBox::Information);
    // What failed is told with a warning's icon.
    void warn(const QString& text);
    void note(const QString& line);
    void showSummary();

    KPRecordingsManager& m_manager;
    QPointer<QWidget> m_window;
    QPointer<QProgressBar> m_progressBar;
    std::unique_ptr<Export> m_export;
    Summary m_summary;
    QPointer<QMessageBox> m_summaryBox;
};
