#include "KPViewController.h"

#include "KPAppDelegate.h"
#include "KPBundle.h"
#include "KPNibWiring.h"
#include "KPUiLoader.h"

#include <QFile>

KPViewController::KPViewController(const QString& nibName, QObject* parent)
    : QObject(parent), m_nibName(nibName)
{}

KPViewController::~KPViewController()
{
    // Once shown, the view belongs to the window; a view never shown is still ours.
    if (m_view && !m_view->parent())
        m_view->deleteLater();
}

QWidget* KPViewController::view()
{
    if (!m_view)
        loadView();
    return m_view;
}

void KPViewController::loadView()
{
    QFile file(KPBundle::pathForResource(m_nibName, QStringLiteral("ui")));
    if (file.open(QIODevice::ReadOnly)) {
        KPUiLoader loader;
        m_view = loader.load(&file);
        if (!m_view)
            qWarning("KPViewController: Could not load %s: %s", qPrintable(m_nibName),
                     qPrintable(loader.errorString()));
    } else {
        qWarning("KPViewController: Could not find %s", qPrintable(m_nibName));
    }
    if (!m_view)
        m_view = new QWidget;
    KPNibWiring::wire(m_view, this);
    viewDidLoad();
}

void KPViewController::viewDidLoad()
{
    m_viewLoaded = true;
    const KPAppDelegate* delegate = KPAppDelegate::shared();
    if (delegate && !delegate->adWhirlIphoneID().isEmpty() && !delegate->adMobIpadID().isEmpty()) {
        qInfo("KPViewController: View loaded after HTTP request returned");
        initializeAds();
    }
}

void KPViewController::initializeAds()
{
    if (!m_viewLoaded || m_adsInitialized)
        return;
    m_adsInitialized = true;
}

bool KPViewController::shouldAutorotateToInterfaceOrientation(int orientation) const
{
    return orientation == LandscapeRight || orientation == LandscapeLeft;
}

void KPViewController::newsButton()
{
    if (m_netBannerShowing)
        return;
    m_netBannerShowing = true;
}

void KPViewController::onExitNetAdView()
{
    m_netBannerShowing = false;
}
