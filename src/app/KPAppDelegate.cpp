#include "app/KPAppDelegate.h"

#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "platform/KPDeviceIdiom.h"

#include <QDir>
#include <QGuiApplication>

namespace {
KPAppDelegate* g_shared = nullptr;
}

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

// Inactive, hidden and suspended all count as the background; only a suspended application
// loses its sound.
void KPAppDelegate::applicationStateChanged(Qt::ApplicationState state)
{
    const Qt::ApplicationState previous = m_state;
    m_state = state;
    if (state == previous)
        return;
    if (state == Qt::ApplicationActive) {
        if (previous == Qt::ApplicationSuspended)
            emit interruptionEnded();
        applicationWillEnterForeground();
        applicationDidBecomeActive();
        return;
    }
    if (previous == Qt::ApplicationActive)
        applicationDidEnterBackground();
    if (state == Qt::ApplicationSuspended)
        emit interruptionBegan();
}

bool KPAppDelegate::didFinishLaunching()
{
    registerDefaultsFromSettingsBundle();
    initializeCrashReporter();
    // The application information is asked for here, once the internet can be reached.
    createWindow();
    createViewController();
    m_window->setRootViewController(m_viewController.get());
    makeKeyAndVisible();
    return true;
}

void KPAppDelegate::applicationDidBecomeActive() {}

void KPAppDelegate::applicationWillEnterForeground()
{
    // The rating prompt hears of every return to the foreground once it exists.
}

void KPAppDelegate::applicationDidEnterBackground()
{
    // Recordings are saved here once they exist.
}

void KPAppDelegate::applicationWillTerminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    applicationDidEnterBackground();
}

void KPAppDelegate::registerDefaultsFromSettingsBundle()
{
    m_defaults.registerDefaultsFromSettingsBundle();
}

void KPAppDelegate::initializeCrashReporter()
{
    // Crash reports are configured here once the crash reporter exists.
}

void KPAppDelegate::fetchAppInfo()
{
    // The application-information request starts here once the network services exist.
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
}

void KPAppDelegate::makeKeyAndVisible()
{
    m_window->makeKeyAndVisible();
}
