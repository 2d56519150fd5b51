#include "app/KPCommandLine.h"

#include "app/KPSingleInstance.h"

#include "exchange/KPAudioExport.h"
#include "exchange/KPRecordingMidi.h"
#include "recordings/KPRecordingsArchive.h"
#include "recordings/KPRecordingsManager.h"
#include "recordings/KPRecordingsStore.h"
#include "recordings/KPRecordingSummary.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <optional>
#include <unistd.h>

namespace {

const QString kList = QStringLiteral("list");
const QString kExport = QStringLiteral("export");
const QString kTo = QStringLiteral("to");
const QString kImport = QStringLiteral("import");

std::atomic<bool> g_terminated = false;

int say(FILE* stream, const QString& text, int status)
{
    std::fprintf(stream, "%s\n", qPrintable(text));
    return status;
}

int wrong(FILE* err, const QString& text)
{
    return say(err, QStringLiteral("touchpiano: %1 (--help lists the options)").arg(text),
               KPCommandLine::kWrongArguments);
}

int failed(FILE* err, const QString& path, const QString& reason)
{
    return say(err, QStringLiteral("touchpiano: %1: %2").arg(path, reason), KPCommandLine::kFailed);
}

int list(const QList<KPPianoRecording>& recordings, FILE* out)
{
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

bool isMidiPath(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("mid"), Qt::CaseInsensitive) == 0;
}

// SIGTERM and SIGINT stop a sound file being rendered: the half-written file is removed.
void stopOnTermination()
{
    struct sigaction action
    {
    };
    action.sa_handler = [](int) {
        g_terminated = true;
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

int exportRecording(const KPPianoRecording& recording, const QString& path, FILE* err)
{
    if (isMidiPath(path)) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(KPRecordingMidi::toMidi(recording)) < 0 || !file.commit())
            return failed(err, path, file.errorString());
        return 0;
    }
    QString error;
    stopOnTermination();
    const bool terminal = isatty(fileno(err));
    const bool written = KPAudioExport::write(recording, path, &error, [&](double done) {
        if (terminal)
            std::fprintf(err, "\rRendering %s: %3d %%", qPrintable(QFileInfo(path).fileName()),
                         int(done * 100));
        return !g_terminated;
    });
    if (terminal)
        std::fprintf(err, "\n");
    return written ? 0 : failed(err, path, error);
}

QString importedText(const KPRecordingMidi::Import& imported)
{
    QString said = QStringLiteral("Imported \"%1\": %2 key events on %3")
                       .arg(*imported.recording.recordingName)
                       .arg(imported.recording.actions.size())
                       .arg(imported.recording.soundBankName);
    if (const QString leftOut = imported.leftOut(); !leftOut.isEmpty())
        said += QStringLiteral("; ") + leftOut;
    return said;
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
    parser.addOption({kImport,
                      QStringLiteral("Import MIDI files as recordings (the files after it too)."),
                      QStringLiteral("FILE")});
}

bool KPCommandLine::isCommand(const QCommandLineParser& parser)
{
    return parser.isSet(kList) || parser.isSet(kExport) || parser.isSet(kTo) ||
           parser.isSet(kImport);
}

int KPCommandLine::run(const QCommandLineParser& parser, FILE* out, FILE* err)
{
    for (const QString& single : {kExport, kTo}) {
        if (parser.values(single).size() > 1)
            return wrong(err, QStringLiteral("--%1 is given more than once").arg(single));
    }
    if (parser.isSet(kExport) && !parser.isSet(kTo))
        return wrong(err, QStringLiteral("--export needs --to FILE"));
    if (parser.isSet(kTo) && !parser.isSet(kExport))
        return wrong(err, QStringLiteral("--to goes with --export N"));
    const QString exportTo = parser.value(kTo);
    if (parser.isSet(kExport) && !isMidiPath(exportTo) && !KPAudioExport::canWrite(exportTo))
        return wrong(err, QStringLiteral("%1: the format comes from the file's extension: .mid, "
                                         ".wav or .flac")
                              .arg(exportTo));
    QStringList imports = parser.values(kImport);
    if (parser.isSet(kImport))
        imports += parser.positionalArguments();
    else if (!parser.positionalArguments().isEmpty())
        return wrong(err, QStringLiteral("%1 is not an option; --import imports files")
                              .arg(parser.positionalArguments().first()));

    int status = imports.isEmpty() ? 0 : importFiles(imports, out, err);
    if (!parser.isSet(kExport) && !parser.isSet(kList))
        return status;
    // The running window saves first, so the archive read below is up to date.
    KPSingleInstance().ask({}, false);
    // Only read: a file that cannot be read is left where it is, for the window to set aside.
    KPRecordingsStore store(KPRecordingsManager::recordingsDataFile());
    QString problem;
    const QList<KPPianoRecording> recordings = store.peek(&problem);
    if (!problem.isEmpty())
        say(err, QStringLiteral("touchpiano: ") + problem, kFailed);
    if (parser.isSet(kExport)) {
        const QString number = parser.value(kExport);
        bool isNumber = false;
        const qsizetype index = number.toLongLong(&isNumber) - 1;
        if (!isNumber || index < 0 || index >= recordings.size())
            return wrong(err, QStringLiteral("there is no recording %1; --list shows the %2 there "
                                             "are")
                                  .arg(number)
                                  .arg(recordings.size()));
        if (const int exported = exportRecording(recordings[index], exportTo, err); exported != 0)
            return exported;
    }
    if (parser.isSet(kList))
        list(recordings, out);
    return status;
}

// A file is read to tell what it holds, then let go: only its words are kept until the window or
// the archive takes it, which reads it again. So a thousand large files never sit in memory
// together.
int KPCommandLine::importFiles(const QStringList& paths, FILE* out, FILE* err,
                               const QList<QDateTime>& dates)
{
    int status = 0;
    QStringList absolute;
    QList<QDateTime> takeDates;
    QStringList told;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        QString error;
        const QDateTime date = dates.value(i, QDateTime::currentDateTime());
        const auto imported = KPRecordingMidi::readFile(paths[i], date, &error);
        if (!imported) {
            status = failed(err, paths[i], error);
            continue;
        }
        absolute << QFileInfo(paths[i]).absoluteFilePath();
        takeDates << date;
        told << importedText(*imported);
    }
    if (absolute.isEmpty())
        return status;

    const KPSingleInstance::Reply running = KPSingleInstance().ask(absolute, false, takeDates);
    if (running.outcome == KPSingleInstance::Outcome::Answered) {
        for (qsizetype i = 0; i < absolute.size(); ++i) {
            if (running.imported.value(i))
                say(out, told[i], 0);
            else
                status = failed(err, absolute[i],
                                running.error.isEmpty()
                                    ? QStringLiteral("the running Touch Piano could not import it")
                                    : QStringLiteral("not imported: the recordings could not be "
                                                     "saved: ") +
                                          running.error);
        }
        return status;
    }
    // No window takes them: this process writes the archive, under its lock. A window that took
    // a request and stopped answering may have saved some already, dated as asked: each take is
    // then in the file once.
    const bool maybeSaved = running.outcome == KPSingleInstance::Outcome::NoAnswer;
    KPRecordingsStore store(KPRecordingsManager::recordingsDataFile());
    QList<QString> refused(absolute.size());
    QString error;
    const bool saved = store.modify(
        [&](QList<KPPianoRecording>& recordings) {
            bool changed = false;
            for (qsizetype i = 0; i < absolute.size(); ++i) {
                const auto imported =
                    KPRecordingMidi::readFile(absolute[i], takeDates[i], &refused[i]);
                if (!imported || (maybeSaved && recordings.contains(imported->recording)))
                    continue;
                recordings.prepend(imported->recording);
                if (const qint64 bytes = KPRecordingsArchive::sizeBound(recordings);
                    bytes > store.maxBytes()) {
                    recordings.removeFirst();
                    refused[i] = QStringLiteral("not imported: ") + store.tooLarge(bytes);
                    continue;
                }
                changed = true;
            }
            return changed;
        },
        &error);
    for (qsizetype i = 0; i < absolute.size(); ++i) {
        if (!saved)
            status =
                failed(err, absolute[i],
                       QStringLiteral("not imported: the recordings could not be saved: ") + error);
        else if (!refused[i].isEmpty())
            status = failed(err, absolute[i], refused[i]);
        else
            say(out, told[i], 0);
    }
    return status;
}
