#include "app/KPCommandLine.h"

#include "app/KPSingleInstance.h"

#include "exchange/KPAudioExport.h"
#include "exchange/KPRecordingMidi.h"
#include "recordings/KPRecordingsManager.h"
#include "recordings/KPRecordingSummary.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <optional>
#include <unistd.h>

namespace {

const QString kList = QStringLiteral("list");
const QString kExport = QStringLiteral("export");
const QString kTo = QStringLiteral("to");
const QString kImport = QStringLiteral("import");

int say(FILE* stream, const QString& text, int status)
{
    std::fprintf(stream, "%s\n", qPrintable(text));
    return status;
}

int list(const KPRecordingsManager& manager, FILE* out)
{
    const QList<KPPianoRecording>& recordings = manager.recordings();
    if (recordings.isEmpty())
        return say(out, QStringLiteral("No recordings."), 0);
    const int width = int(QString::number(recordings.size()).size());
    for (qsizetype i = 0; i < recordings.size(); ++i) {
        const KPPianoRecording& recording = recordings[i];
        say(out,
            QStringLiteral("%1  %2  %3  %4  %5")
                .arg(i + 1, width)
                .arg(recording.recordingName.value_or(QStringLiteral("(no name)")),
                     KPRecordingSummary::date(recording), recording.soundBankName,
                     KPRecordingSummary::length(recording)),
            0);
    }
    return 0;
}

int exportRecording(const KPRecordingsManager& manager, const QString& number, const QString& path,
                    FILE* err)
{
    bool isNumber = false;
    const qsizetype index = number.toLongLong(&isNumber) - 1;
    const qsizetype count = manager.recordings().size();
    if (!isNumber || index < 0 || index >= count)
        return say(err,
                   QStringLiteral("touchpiano: there is no recording %1; --list shows the %2 "
                                  "there are")
                       .arg(number)
                       .arg(count),
                   1);
    const KPPianoRecording& recording = manager.recordings()[index];
    if (QFileInfo(path).suffix().compare(QLatin1String("mid"), Qt::CaseInsensitive) == 0) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(KPRecordingMidi::toMidi(recording)) < 0 || !file.commit())
            return say(err, QStringLiteral("touchpiano: %1: %2").arg(path, file.errorString()), 1);
        return 0;
    }
    if (!KPAudioExport::canWrite(path))
        return say(err,
                   QStringLiteral("touchpiano: %1: the format comes from the file's extension: "
                                  ".mid, .wav or .flac")
                       .arg(path),
                   2);
    const bool terminal = isatty(fileno(err));
    QString error;
    const bool written = KPAudioExport::write(recording, path, &error, [&](double done) {
        if (terminal)
            std::fprintf(err, "\rRendering %s: %3d %%", qPrintable(QFileInfo(path).fileName()),
                         int(done * 100));
        return true;
    });
    if (terminal)
        std::fprintf(err, "\n");
    return written ? 0 : say(err, QStringLiteral("touchpiano: %1: %2").arg(path, error), 1);
}

std::optional<KPRecordingMidi::Import> readImport(const QString& path, FILE* err)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        say(err, QStringLiteral("touchpiano: %1: %2").arg(path, file.errorString()), 1);
        return std::nullopt;
    }
    QString error;
    auto imported =
        KPRecordingMidi::fromMidi(file.readAll(), QFileInfo(path).completeBaseName(), &error);
    if (!imported)
        say(err, QStringLiteral("touchpiano: %1: %2").arg(path, error), 1);
    return imported;
}

// A running window keeps the list: it imports the file and saves it. Otherwise the archive is
// written here.
int addImport(const KPRecordingMidi::Import& imported, const KPSingleInstance::Reply& running,
              KPRecordingsManager& manager, FILE* out, FILE* err)
{
    bool saved = false;
    if (running.outcome == KPSingleInstance::Outcome::Answered) {
        if (!running.imported.value(0))
            return say(
                err, QStringLiteral("touchpiano: the running Touch Piano could not import it"), 1);
        saved = running.saved;
    } else {
        manager.addRecording(imported.recording);
        manager.saveAllRecordings();
        saved = !manager.recordingsStateChanged();
    }
    if (!saved)
        return say(err, QStringLiteral("touchpiano: the recordings could not be saved"), 1);
    QString said = QStringLiteral("Imported \"%1\": %2 key events on %3")
                       .arg(*imported.recording.recordingName)
                       .arg(imported.recording.actions.size())
                       .arg(imported.recording.soundBankName);
    if (imported.droppedNotes > 0)
        said +=
            QStringLiteral("; left out %1 %2 outside C1 to B7")
                .arg(imported.droppedNotes)
                .arg(imported.droppedNotes == 1 ? QStringLiteral("note") : QStringLiteral("notes"));
    return say(out, said, 0);
}

} // namespace

void KPCommandLine::addOptions(QCommandLineParser& parser)
{
    parser.addOption({kList, QStringLiteral("List the recordings, numbered from 1.")});
    parser.addOption({kExport,
                      QStringLiteral("Export recording N (see --list) to the file given by --to."),
                      QStringLiteral("N")});
    parser.addOption({kTo, QStringLiteral("The file to export to: .mid, .wav or .flac."),
                      QStringLiteral("FILE")});
    parser.addOption(
        {kImport, QStringLiteral("Import a MIDI file as a recording."), QStringLiteral("FILE")});
}

bool KPCommandLine::isCommand(const QCommandLineParser& parser)
{
    return parser.isSet(kList) || parser.isSet(kExport) || parser.isSet(kImport);
}

int KPCommandLine::run(const QCommandLineParser& parser, FILE* out, FILE* err)
{
    if (parser.isSet(kExport) && !parser.isSet(kTo))
        return say(err, QStringLiteral("touchpiano: --export needs --to FILE"), 2);

    std::optional<KPRecordingMidi::Import> imported;
    QStringList handed;
    if (parser.isSet(kImport)) {
        handed << QFileInfo(parser.value(kImport)).absoluteFilePath();
        imported = readImport(parser.value(kImport), err);
        if (!imported)
            return 1;
    }
    // Asked even with nothing to hand over: the running window saves, so the archive read below
    // is up to date.
    const KPSingleInstance::Reply running = KPSingleInstance().ask(handed, false);
    KPRecordingsManager manager(KPRecordingsManager::recordingsDataFile());
    if (imported) {
        const int status = addImport(*imported, running, manager, out, err);
        if (status != 0)
            return status;
    }
    if (parser.isSet(kExport)) {
        const int status = exportRecording(manager, parser.value(kExport), parser.value(kTo), err);
        if (status != 0)
            return status;
    }
    return parser.isSet(kList) ? list(manager, out) : 0;
}
