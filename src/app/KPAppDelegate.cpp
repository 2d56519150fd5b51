#include "app/KPAppDelegate.h"

#include "app/KPSessionMemory.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "audio/KPSoundPlayer.h"
#include "crash/KPCrashReporter.h"
#include "net/KPHTTPRequest.h"
#include "net/KPServers.h"
#include "platform/KPAppPaths.h"
#include "platform/KPBundle.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "rating/KPRatingPrompt.h"
#include "recordings/KPRecordingsManager.h"
#include "screen/KPPianoView.h"

#include <QDir>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

namespace {

KPAppDelegate* g_shared = nullptr;

// Used when the application server cannot tell us the advertising identifiers.
const QString kFallbackAdWhirlIphoneID = QStringLiteral("5c1f0e8d2b7a4936a0e4d8c3f1b62a97");
const QString kFallbackAdMobIpadID = QStringLiteral("a3f9c2e71b0d845");

} // namespace

KPAppDelegate::KPAppDelegate(KPUserDefaults& defaults, QObject* parent)
    : QObject(parent), m_defaults(defaults)
{
    g_shared = this;
}

KPAppDelegate::~KPAppDelegate()
{
    // The window holds the controller's view: it goes first.
    m_window.reset();
    m_viewController.reset();
    if (g_shared == this)
        g_shared = nullptr;
}

KPAppDelegate* KPAppDelegate::shared()
{
    return g_shared;
}

void KPAppDelegate::observe(QGuiApplication& application)
{
    m_state = application.applicationState();
    connect(&application, &QGuiApplication::applicationStateChanged, this,
            &KPAppDelegate::applicationStateChanged);
    connect(&application, &QCoreApplication::aboutToQuit, this,
            &KPAppDelegate::applicationWillTerminate);
}

// Inactive, hidden and suspended all count as the background, so the recordings are saved
// whenever the window loses the focus; only a suspended application loses its sound, and gets
// it back at its next return to active, whichever way it comes back. Coming back to the front
// is a new use of the application (the rating prompt counts it) only after it was hidden or
// suspended: on a desktop the focus goes and comes many times a minute.
void KPAppDelegate::applicationStateChanged(Qt::ApplicationState state)
{
    const Qt::ApplicationState previous = m_state;
    m_state = state;
    if (state == previous)
        return;
    if (state == Qt::ApplicationActive) {
        if (m_interrupted) {
            m_interrupted = false;
            emit interruptionEnded();
        }
        if (std::exchange(m_away, false))
            applicationWillEnterForeground();
        applicationDidBecomeActive();
        return;
    }
    if (state == Qt::ApplicationHidden || state == Qt::ApplicationSuspended)
        m_away = true;
    if (previous == Qt::ApplicationActive)
        applicationDidEnterBackground();
    if (state == Qt::ApplicationSuspended && !m_interrupted) {
        m_interrupted = true;
        emit interruptionBegan();
    }
}

bool KPAppDelegate::didFinishLaunching()
{
    registerDefaultsFromSettingsBundle();
    initializeCrashReporter();
    m_internet = KPReachability::reachabilityForInternetConnection(reachabilityBackend());
    if (m_internet->currentReachabilityStatus() != KPReachability::NetworkStatus::NotReachable) {
        fetchAppInfo();
    } else if (m_internet->startNotifier()) {
        qInfo("KPAppDelegate: Listening for reachability notifications");
        connect(m_internet.get(), &KPReachability::reachabilityChanged, this,
                &KPAppDelegate::internetNotifier);
    }
    createWindow();
    if (m_crashReporter)
        m_crashReporter->setWindow(m_window.get());
    createViewController();
    m_window->setRootViewController(m_viewController.get());
    makeKeyAndVisible();
    if (KPPianoView* piano = pianoView())
        KPSessionMemory::restoreScreen(m_defaults, *piano);
    return true;
}

void KPAppDelegate::restoreSound()
{
    if (m_soundPlayer)
        KPSessionMemory::restoreSound(m_defaults, *m_soundPlayer);
}

KPPianoView* KPAppDelegate::pianoView() const
{
    QWidget* screen = m_window ? m_window->rootView() : nullptr;
    return screen ? screen->findChild<KPPianoView*>() : nullptr;
}

void KPAppDelegate::applicationDidBecomeActive() {}

void KPAppDelegate::applicationWillEnterForeground()
{
    if (m_ratingPromptLaunched)
        KPRatingPrompt::sharedInstance().appEnteredForeground(true);
}

void KPAppDelegate::applicationDidEnterBackground()
{
    if (m_recordingsManager)
        m_recordingsManager->saveAllRecordings();
    const KPPianoView* piano = pianoView();
    if (piano && m_soundPlayer)
        KPSessionMemory::save(m_defaults, *piano, *m_soundPlayer);
}

void KPAppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    if (m_window)
        m_defaults.setValue(windowGeometryKey(), m_window->saveGeometry());
    // Closing the window while recording keeps the take, as stopping would.
    if (m_recordingsManager)
        m_recordingsManager->stopRecording();
    applicationDidEnterBackground();
}

void KPAppDelegate::registerDefaultsFromSettingsBundle()
{
    m_defaults.registerDefaultsFromSettingsBundle();
}

void KPAppDelegate::initializeCrashReporter()
{
    m_crashReporter = std::make_unique<KPCrashReporter>(
        m_defaults,
        QDir(KPAppPaths::applicationSupportDirectory()).filePath(QStringLiteral("CrashReports")),
        QUrl(KPServers::crashServer(m_defaults)));
    m_crashReporter->start();
}

void KPAppDelegate::initializeRatingPrompt()
{
    KPRatingPrompt& prompt = KPRatingPrompt::sharedInstance();
    prompt.setDaysUntilPrompt(2);
    prompt.setUsesUntilPrompt(10);
    prompt.setMessage(KPLocalization::string("RATE"));
    m_ratingPromptLaunched = prompt.launch(m_appID);
}

// Asked once per run: when the internet becomes reachable, this stops listening.
void KPAppDelegate::fetchAppInfo()
{
    const QString bundleID =
        KPBundle::bundleIdentifier().replace(QLatin1Char('.'), QLatin1Char('_'));
    auto* request = new KPHTTPRequest(KPHTTPRequest::kJsonBodyLimit, this);
    connect(request, &KPHTTPRequest::requestResult, this, &KPAppDelegate::requestResult);
    connect(request, &KPHTTPRequest::requestFailure, this, &KPAppDelegate::requestFailure);
    request->httpRequest(KPServers::appServer(m_defaults) +
                         QStringLiteral("/functions/get_app_info.php?bundle_id=") + bundleID);
}

void KPAppDelegate::internetNotifier()
{
    if (m_internet->currentReachabilityStatus() == KPReachability::NetworkStatus::NotReachable)
        return;
    m_internet->stopNotifier();
    disconnect(m_internet.get(), &KPReachability::reachabilityChanged, this,
               &KPAppDelegate::internetNotifier);
    qInfo("KPAppDelegate: Internet is now reachable");
    fetchAppInfo();
}

// A key that is missing leaves its field unset; a JSON null takes the fallback. Without the
// application's identifier there is no rating prompt. Values are kept as the answer gives them.
void KPAppDelegate::requestResult(const QByteArray& data)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (!document.isObject()) {
        requestFailure();
        const QString description = error.error != QJsonParseError::NoError
                                        ? error.errorString()
                                        : QStringLiteral("the answer is not a JSON object");
        qWarning("KPAppDelegate: JSON deserialization error: %s", qPrintable(description));
        return;
    }
    const QJsonObject info = document.object();
    const auto text = [](const QJsonValue& value) {
        return value.toVariant().toString();
    };
    const QJsonValue appID = info.value(QLatin1String("app_id"));
    if (!appID.isNull() && !appID.isUndefined()) {
        m_appID = text(appID);
        initializeRatingPrompt();
    }
    const auto storeOrFallback = [&info, &text](const char* key, QString& field,
                                                const QString& fallback, const char* line) {
        const QJsonValue value = info.value(QLatin1String(key));
        if (value.isNull()) {
            qInfo("%s", line);
            field = fallback;
        } else {
            field = text(value);
        }
    };
    storeOrFallback("adwhirl_iphone", m_adWhirlIphoneID, kFallbackAdWhirlIphoneID,
                    "KPAppDelegate: Using fallback adwhirl id");
    storeOrFallback("admob_ipad", m_adMobIpadID, kFallbackAdMobIpadID,
                    "KPAppDelegate: Using fallback admob id");
    if (m_viewController)
        m_viewController->initializeAds();
}

void KPAppDelegate::requestFailure()
{
    qInfo("KPAppDelegate: Using fallback ids");
    m_adWhirlIphoneID = kFallbackAdWhirlIphoneID;
    m_adMobIpadID = kFallbackAdMobIpadID;
    if (m_viewController)
        m_viewController->initializeAds();
}

KPReachabilityBackend* KPAppDelegate::reachabilityBackend() const
{
    return KPNetworkInformationBackend::shared();
}

bool KPAppDelegate::isPhone() const
{
    return KPDeviceIdiom::isPhone();
}

bool KPAppDelegate::isPad() const
{
    return KPDeviceIdiom::isPad();
}

void KPAppDelegate::createWindow()
{
    m_window = std::make_unique<KPWindow>(KPDeviceIdiom::windowSize(KPDeviceIdiom::current()));
}

void KPAppDelegate::createViewController()
{
    m_viewController = std::make_unique<KPViewController>(
        KPDeviceIdiom::isPhone() ? QStringLiteral("KPViewController_iPhone")
                                 : QStringLiteral("KPViewController_iPad"));
    m_viewController->setRecordingsManager(m_recordingsManager);
}

// The window comes back where the user left it, at its size, maximised or full screen; each
// layout keeps its own, as their shapes differ.
QString KPAppDelegate::windowGeometryKey()
{
    return KPDeviceIdiom::isPhone() ? QStringLiteral("windowGeometryPhone")
                                    : QStringLiteral("windowGeometryTablet");
}

void KPAppDelegate::makeKeyAndVisible()
{
    // A first window shows four octaves where the screen has room for them.
    if (!m_window->restoreGeometry(m_defaults.value(windowGeometryKey()).toByteArray())) {
        const auto* piano =
            m_viewController ? m_viewController->view()->findChild<KPPianoView*>() : nullptr;
        m_window->fitScreen(piano ? piano->widthShowingOctaves(4) : 0);
    }
    m_window->makeKeyAndVisible();
}
