#include "app/KPAppDelegate.h"
#include "app/KPCommandLine.h"
#include "app/KPDesktopInputs.h"
#include "app/KPDesktopManners.h"
#include "app/KPMidiControls.h"
#include "app/KPRecordingsExchange.h"
#include "app/KPRecordingsNotices.h"
#include "app/KPSingleInstance.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "audio/KPAudioOutput.h"
#include "audio/KPAudioSession.h"
#include "audio/KPOpenALConfiguration.h"
#include "audio/KPSoundPlayer.h"
#include "audio/KPSystemSound.h"
#include "keyboard/KPPianoKeysView.h"
#include "midi/KPMidiInput.h"
#include "performer/KPNotePerformer.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "platform/KPTerminationSignals.h"
#include "platform/KPUserDefaults.h"
#include "recordings/KPRecordingsManager.h"
#include "screen/KPPianoView.h"
#include "ui/KPImages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("touchpiano"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOUCHPIANO_VERSION));
}

// Whether a window system can be reached: the X and Wayland platforms need their display,
// any other (offscreen, a frame buffer) shows without one.
bool hasDisplay()
{
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const QStringList platforms =
        qEnvironmentVariable("QT_QPA_PLATFORM").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (platforms.isEmpty())
        return x11 || wayland;
    return std::any_of(platforms.cbegin(), platforms.cend(), [&](const QString& platform) {
        if (platform.startsWith(QLatin1String("xcb")))
            return x11;
        if (platform.startsWith(QLatin1String("wayland")))
            return wayland;
        return true;
    });
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
    KPLocalization::install();
    // Before anything opens OpenAL, the commands' export too (the resources are found from the
    // application's folder), unless the user has a configuration.
    KPOpenALConfiguration::useShipped();
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
    Options options;
    // A wrong command line is told like every other mistake in its arguments, with status 2.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(KPLocalization::string("CLIWRONG").arg(parser.errorText())));
        options.commandStatus = KPCommandLine::kWrongArguments;
        return options;
    }
    if (const int repeated = KPCommandLine::refuseRepeatedOptions(parser)) {
        options.commandStatus = repeated;
        return options;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    if (KPCommandLine::isCommand(parser))
        options.commandStatus = KPCommandLine::run(parser);
    if (parser.isSet(idiomOption))
        options.idiom = parser.value(idiomOption);
    options.listMidi = parser.isSet(listMidiOption);
    options.files = parser.positionalArguments();
    // Files named without a display to show a window on are imported as --import would.
    if (!options.commandStatus && !options.listMidi && !hasDisplay()) {
        if (options.files.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(KPLocalization::string("CLINODISPLAY")));
            options.commandStatus = KPCommandLine::kFailed;
        } else {
            options.commandStatus = KPCommandLine::importFiles(options.files);
        }
    }
    return options;
}

// A note that leaves the keys to the player: the window keeps the focus.
void tellAside(QWidget* window, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Touch Piano"), text,
                                QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->show();
}

// JACK keeps the words its users know: the server went away.
QString outputLostText(const QString& name, bool silent)
{
    if (name == QLatin1String("JACK"))
        return KPLocalization::string(silent ? "JACKGONESILENT" : "JACKGONE");
    return KPLocalization::string(silent ? "OUTPUTLOSTSILENT" : "OUTPUTLOST").arg(name);
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
    // One window: a running one takes this launch's files and comes forward.
    KPSingleInstance instance;
    switch (instance.claim(options.files, options.idiom.value_or(QString()))) {
    case KPSingleInstance::Claim::HandedOver:
        return instance.notImported() > 0 ? KPCommandLine::kFailed : 0;
    case KPSingleInstance::Claim::Refused:
        // Its files still go into the archive, which the window takes in at its next save;
        // dated as they were handed over, so that the window, should it answer late, knows them.
        return options.files.isEmpty() ? KPCommandLine::kFailed
                                       : KPCommandLine::importFiles(options.files, stdout, stderr,
                                                                    instance.claimedDates());
    case KPSingleInstance::Claim::Owner:
    case KPSingleInstance::Claim::Alone:
        break;
    }

    // Where the sound goes, JACK first; it moves as a JACK server comes and goes, and whoever
    // plays moves with it.
    KPAudioOutput output;
    KPAudioDevice::setDefaultOpener([&output] { return output.device(); });
    QObject::connect(&output, &KPAudioOutput::deviceChanged, [] {
        KPSoundPlayer::sharedPlayer().sampler().changeDevice();
        KPSystemSound::shared().changeDevice();
    });
    output.start();

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

    // Made on the event loop's first turn (the sound player loads its piano then); it outlives
    // the window and the inputs that play through it.
    std::optional<KPNotePerformer> performer;
    // Made before the window, whose piano screen lists and records into it.
    KPRecordingsManager recordings(KPRecordingsManager::recordingsDataFile());
    KPAppDelegate delegate;
    delegate.setRecordingsManager(&recordings);
    delegate.observe(application);
    QObject::connect(&delegate, &KPAppDelegate::interruptionBegan,
                     [] { KPAudioSession::sharedSession().beginInterruption(); });
    QObject::connect(&delegate, &KPAppDelegate::interruptionEnded,
                     [] { KPAudioSession::sharedSession().endInterruption(); });
    KPTerminationSignals termination;
    QObject::connect(&termination, &KPTerminationSignals::terminationRequested, &application,
                     &QCoreApplication::quit);
    delegate.didFinishLaunching();
    QObject::connect(&output, &KPAudioOutput::outputLost, delegate.window(),
                     [&delegate](const QString& name, bool silent) {
                         tellAside(delegate.window(), outputLostText(name, silent));
                     });
    std::unique_ptr<KPDesktopInputs> desktopInputs;
    std::unique_ptr<KPMidiControls> midiControls;
    std::unique_ptr<KPDesktopManners> desktopManners;
    std::unique_ptr<KPRecordingsExchange> exchange;
    std::unique_ptr<KPRecordingsNotices> notices;
    KPWindow* window = delegate.window();
    KPPianoView* piano =
        window->rootView() ? window->rootView()->findChild<KPPianoView*>() : nullptr;
    if (piano) {
        desktopManners = std::make_unique<KPDesktopManners>(*piano, *window);
        exchange = std::make_unique<KPRecordingsExchange>(recordings, delegate.window());
        exchange->connectPlaylist(piano->playlistView());
        QObject::connect(delegate.window(), &KPWindow::midiFilesDropped, exchange.get(),
                         [&exchange](const QStringList& paths) { exchange->importFiles(paths); });
        exchange->importFiles(options.files);
        instance.serve(*exchange, recordings, window);
        notices = std::make_unique<KPRecordingsNotices>(recordings, window);
    }
    // Open the sound device and load the piano while the window appears, not at the first touch,
    // and let every player play through the performer from then on. The MIDI ports open then
    // too: the sequencer and JACK take milliseconds that the first frame need not wait for.
    // An instrument whose samples can't be loaded ends the program: it would play nothing.
    QTimer::singleShot(0, [&] {
        KPSoundPlayer& player = KPSoundPlayer::sharedPlayer();
        QObject::connect(&player, &KPSoundPlayer::soundBankFailed,
                         [] { QCoreApplication::exit(1); });
        delegate.setSoundPlayer(&player);
        delegate.restoreSound();
        recordings.setSoundPlayer(&player);
        if (!piano)
            return;
        performer.emplace(player);
        piano->setPerformer(&*performer);
        recordings.setPerformer(&*performer);
        desktopInputs =
            std::make_unique<KPDesktopInputs>(*piano->keysView(), *performer, delegate.window());
        // What is played goes out on MIDI too; the instrument panel opens the connections.
        midiControls = std::make_unique<KPMidiControls>(*performer, desktopInputs->midiInput(),
                                                        KPUserDefaults::standard(), window);
        if (piano->settingsView())
            midiControls->attach(*piano->settingsView());
        // JACK MIDI is read and written in the JACK output's own cycle while the sound goes there.
        desktopInputs->setJackOutput(output.jackDevice());
        midiControls->setJackOutput(output.jackDevice());
        QObject::connect(&output, &KPAudioOutput::deviceChanged, desktopInputs.get(), [&] {
            desktopInputs->setJackOutput(output.jackDevice());
            midiControls->setJackOutput(output.jackDevice());
        });
        desktopInputs->start();
        midiControls->start();
    });
    const int status = application.exec();
    // The shared players outlive this function; they must not ask for a device any more.
    KPAudioDevice::setDefaultOpener({});
    return status;
}
