#include "app/KPAppDelegate.h"
#include "app/KPCommandLine.h"
#include "app/KPDesktopInputs.h"
#include "app/KPDesktopManners.h"
#include "app/KPRecordingsExchange.h"
#include "app/KPSingleInstance.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "audio/KPAudioSession.h"
#include "audio/KPPlaybackDevice.h"
#include "audio/KPSoundPlayer.h"
#include "keyboard/KPPianoKeysView.h"
#include "midi/KPMidiInput.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "platform/KPTerminationSignals.h"
#include "recordings/KPRecordingsManager.h"
#include "screen/KPPianoView.h"
#include "ui/KPImages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("touchpiano"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOUCHPIANO_VERSION));
}

struct Options
{
    std::optional<QString> idiom;
    bool listMidi = false;
    // Set when the work is done without a window: the program's exit status.
    std::optional<int> commandStatus;
    // MIDI files to import once the window is up.
    QStringList files;
};

// Reads the options before there is a window system, so that --help, --version, --list-midi,
// the recordings' commands and a wrong option are answered on a terminal without a display.
Options parseOptions(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    describeApplication();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Touch Piano: a touch piano."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption idiomOption(
        QStringLiteral("idiom"),
        QStringLiteral("Lay out for a phone (480x320), a tablet (1024x768) or another device "
                       "(tablet layout). Default: chosen from the screen size."),
        QStringLiteral("phone|tablet|other"));
    parser.addOption(idiomOption);
    const QCommandLineOption listMidiOption(
        QStringLiteral("list-midi"),
        QStringLiteral("List the MIDI input ports (ALSA and JACK) that can be played from, and "
                       "quit."));
    parser.addOption(listMidiOption);
    KPCommandLine::addOptions(parser);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("MIDI files to import as recordings."),
                                 QStringLiteral("[file...]"));
    parser.process(application);

    Options options;
    if (KPCommandLine::isCommand(parser))
        options.commandStatus = KPCommandLine::run(parser);
    if (parser.isSet(idiomOption))
        options.idiom = parser.value(idiomOption);
    options.listMidi = parser.isSet(listMidiOption);
    options.files = parser.positionalArguments();
    return options;
}

} // namespace

int main(int argc, char* argv[])
{
    const Options options = parseOptions(argc, argv);
    if (options.commandStatus)
        return *options.commandStatus;
    if (options.listMidi) {
        for (const QString& line : KPMidiInput::listPorts())
            std::printf("%s\n", qPrintable(line));
        return 0;
    }
    std::optional<KPIdiom> chosenIdiom;
    if (options.idiom) {
        chosenIdiom = KPDeviceIdiom::fromName(*options.idiom);
        if (!chosenIdiom) {
            std::fprintf(stderr, "touchpiano: --idiom takes phone, tablet or other\n");
            return 2;
        }
    }

    QApplication::setAttribute(Qt::AA_SynthesizeTouchForUnhandledMouseEvents);
    QApplication application(argc, argv);
    describeApplication();
    QApplication::setApplicationDisplayName(QStringLiteral("Touch Piano"));
    QApplication::setDesktopFileName(QStringLiteral("org.touchpiano.TouchPiano"));
    // Before anything opens OpenAL (the resources are found from the application's folder): our
    // short output buffer, unless the user has a configuration.
    KPPlaybackDevice::useShippedConfiguration();
    // One window: a running one takes this launch's files and comes forward.
    KPSingleInstance instance;
    if (instance.claim(options.files, options.idiom.value_or(QString())) ==
        KPSingleInstance::Claim::HandedOver)
        return 0;

    KPDeviceIdiom::setCurrent(
        chosenIdiom ? *chosenIdiom
                    : KPDeviceIdiom::fromScreenSize(QApplication::primaryScreen()->size()));
    // The artwork is drawn for the largest the screen can be shown on this display (full
    // screen), so that it stays sharp however large the window is made.
    const QSize screen = QApplication::primaryScreen()->size();
    const QSize designed = KPDeviceIdiom::windowSize(KPDeviceIdiom::current());
    KPImages::setRenderScale(std::min(qreal(screen.width()) / designed.width(),
                                      qreal(screen.height()) / designed.height()));
    KPLocalization::install();

    KPAppDelegate delegate;
    delegate.observe(application);
    QObject::connect(&delegate, &KPAppDelegate::interruptionBegan,
                     [] { KPAudioSession::sharedSession().beginInterruption(); });
    QObject::connect(&delegate, &KPAppDelegate::interruptionEnded,
                     [] { KPAudioSession::sharedSession().endInterruption(); });
    KPTerminationSignals termination;
    QObject::connect(&termination, &KPTerminationSignals::terminationRequested, &application,
                     &QCoreApplication::quit);
    delegate.didFinishLaunching();
    std::unique_ptr<KPDesktopInputs> desktopInputs;
    std::unique_ptr<KPDesktopManners> desktopManners;
    std::unique_ptr<KPRecordingsExchange> exchange;
    KPWindow* window = delegate.window();
    if (auto* piano =
            window->rootView() ? window->rootView()->findChild<KPPianoView*>() : nullptr) {
        desktopInputs = std::make_unique<KPDesktopInputs>(*piano->keysView(), delegate.window());
        // The MIDI ports open on the event loop's first turn, once the window is on screen: the
        // sequencer and JACK take milliseconds that the first frame need not wait for.
        QTimer::singleShot(0, desktopInputs.get(), &KPDesktopInputs::start);
        desktopManners = std::make_unique<KPDesktopManners>(*piano, *window);
        exchange = std::make_unique<KPRecordingsExchange>(KPRecordingsManager::sharedManager(),
                                                          delegate.window());
        exchange->connectPlaylist(piano->playlistView());
        QObject::connect(delegate.window(), &KPWindow::midiFilesDropped, exchange.get(),
                         [&exchange](const QStringList& paths) {
                             for (const QString& path : paths)
                                 exchange->importFile(path);
                         });
        for (const QString& path : options.files)
            exchange->importFile(path);
        instance.serve(*exchange, KPRecordingsManager::sharedManager(), window);
    }
    // Open the sound device and load the piano while the window appears, not at the first touch.
    // An instrument whose samples can't be loaded ends the program: it would play nothing.
    QTimer::singleShot(0, [&delegate] {
        QObject::connect(&KPSoundPlayer::sharedPlayer(), &KPSoundPlayer::soundBankFailed,
                         [] { QCoreApplication::exit(1); });
        delegate.restoreSound();
    });
    return application.exec();
}
