#include "app/KPCommandLine.h"

#include "app/KPSingleInstance.h"

#include "exchange/KPAudioExport.h"
#include "exchange/KPRecordingMidi.h"
#include "platform/KPLocalization.h"
#include "recordings/KPRecordingsArchive.h"
#include "recordings/KPRecordingsManager.h"
#include "recordings/KPRecordingsStore.h"
#include "recordings/KPRecordingSummary.h"

#include <QCommandLineParser>
#include <QDir>
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
const QString kForce = QStringLiteral("force");

std::atomic<bool> g_terminated = false;

int say(FILE* stream, const QString& text, int status)
{
    std::fprintf(stream, "%s\n", qPrintable(text));
    return status;
}

int wrong(FILE* err, const QString& text)
{
    return say(err, KPLocalization::string("CLIWRONG").arg(text), KPCommandLine::kWrongArguments);
}

int failed(FILE* err, const QString& path, const QString& reason)
{
    return say(err, QStringLiteral("touchpiano: %1: %2").arg(path, reason), KPCommandLine::kFailed);
}

qsizetype noteCount(const KPPianoRecording& recording)
{
    return std::count_if(recording.actions.cbegin(), recording.actions.cend(),
                         [](const KPPianoKeyAction& action) { return !action.isRelease(); });
}

// One row a recording, its columns lined up: the number and the counts to the right, the texts
// to the left.
int list(const QList<KPPianoRecording>& recordings, FILE* out)
{
    if (recordings.isEmpty())
        return say(out, KPLocalization::string("CLINORECORDINGS"), 0);
    QList<QStringList> rows;
    for (qsizetype i = 0; i < recordings.size(); ++i) {
        const KPPianoRecording& recording = recordings[i];
        const qsizetype notes = noteCount(recording);
        rows << QStringList{
            QString::number(i + 1),
            recording.recordingName.value_or(KPLocalization::string("CLINONAME")),
            KPRecordingSummary::date(recording),
            KPLocalization::displayName(recording.soundBankName),
            KPRecordingSummary::length(recording),
            KPLocalization::string(notes == 1 ? "CLIONENOTE" : "CLINOTES").arg(notes)};
    }
    const QList<bool> toTheRight{true, false, false, false, true, true};
    QList<qsizetype> widths(toTheRight.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    for (const QStringList& row : rows) {
        QStringList cells;
        for (qsizetype column = 0; column < row.size(); ++column)
            cells << (toTheRight[column] ? row[column].rightJustified(widths[column])
                                         : row[column].leftJustified(widths[column]));
        say(out, cells.join(QStringLiteral("  ")), 0);
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

// A file already there is kept unless `force`; a missing folder is told as such, before any
// library's words for it.
int exportRecording(const KPPianoRecording& recording, const QString& path, bool force, FILE* out,
                    FILE* err)
{
    const QFileInfo target(path);
    if (!target.absoluteDir().exists())
        return failed(err, path, KPLocalization::string("CLINOFOLDER").arg(target.absolutePath()));
    if (target.exists() && !force)
        return failed(err, path, KPLocalization::string("CLIEXISTS"));
    const QString name = recording.recordingName.value_or(KPLocalization::string("CLINONAME"));
    if (isMidiPath(path)) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(KPRecordingMidi::toMidi(recording)) < 0 || !file.commit())
            return failed(err, path, file.errorString());
        return say(out, KPLocalization::string("CLIEXPORTED").arg(name, path), 0);
    }
    QString error;
    stopOnTermination();
    const bool terminal = isatty(fileno(err));
    const QString rendering = KPLocalization::string("EXPORTING").arg(target.fileName());
    const bool written = KPAudioExport::write(recording, path, &error, [&](double done) {
        if (terminal)
            std::fprintf(err, "\r%s %3d %%", qPrintable(rendering), int(done * 100));
        return !g_terminated;
    });
    if (terminal)
        std::fprintf(err, "\n");
    if (!written)
        return failed(err, path, error);
    return say(out, KPLocalization::string("CLIEXPORTED").arg(name, path), 0);
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
    parser.addOption({kForce, QStringLiteral("Let --export replace a file that is there.")});
}

// --import may come before each file; any other option is given once.
int KPCommandLine::refuseRepeatedOptions(const QCommandLineParser& parser, FILE* err)
{
    const QStringList given = parser.optionNames();
    for (const QString& name : given) {
        if (name != kImport && given.count(name) > 1)
            return wrong(err, KPLocalization::string("CLITWICE").arg(name));
    }
    return 0;
}

bool KPCommandLine::isCommand(const QCommandLineParser& parser)
{
    return parser.isSet(kList) || parser.isSet(kExport) || parser.isSet(kTo) ||
           parser.isSet(kImport) || parser.isSet(kForce);
}

int KPCommandLine::run(const QCommandLineParser& parser, FILE* out, FILE* err)
{
    if (const int repeated = refuseRepeatedOptions(parser, err))
        return repeated;
    if (parser.isSet(kExport) && !parser.isSet(kTo))
        return wrong(err, KPLocalization::string("CLINOTO"));
    for (const QString& companion : {kTo, kForce}) {
        if (parser.isSet(companion) && !parser.isSet(kExport))
            return wrong(err, KPLocalization::string("CLIWITHEXPORT").arg(companion));
    }
    const QString exportTo = parser.value(kTo);
    if (parser.isSet(kExport) && !isMidiPath(exportTo) && !KPAudioExport::canWrite(exportTo))
        return wrong(err, KPLocalization::string("CLIFORMAT").arg(exportTo));
    QStringList imports = parser.values(kImport);
    if (parser.isSet(kImport))
        imports += parser.positionalArguments();
    else if (!parser.positionalArguments().isEmpty())
        return wrong(
            err, KPLocalization::string("CLINOTOPTION").arg(parser.positionalArguments().first()));

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
            return wrong(
                err, KPLocalization::string("CLINORECORDING").arg(number).arg(recordings.size()));
        if (const int exported =
                exportRecording(recordings[index], exportTo, parser.isSet(kForce), out, err);
            exported != 0)
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
