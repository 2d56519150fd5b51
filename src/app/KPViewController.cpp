#include "app/KPViewController.h"

#include "app/KPAppDelegate.h"
#include "app/KPRecordingsManagerControl.h"
#include "net/KPNetworkAdView.h"
#include "net/KPServers.h"
#include "platform/KPBundle.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "platform/KPNibWiring.h"
#include "platform/KPUiLoader.h"
#include "screen/KPPianoView.h"
#include "settings/KPSettingsView.h"
#include "ui/KPButton.h"
#include "ui/KPImages.h"
#include "ui/KPTableView.h"

#include <QFile>
#include <QLabel>

namespace {

void registerViewClasses()
{
    static const bool registered = [] {
        KPUiLoader::registerClass<KPPianoView>(QStringLiteral("KPPianoView"));
        KPUiLoader::registerClass<KPSettingsView>(QStringLiteral("KPSettingsView"));
        KPUiLoader::registerClass<KPButton>(QStringLiteral("KPButton"));
        KPUiLoader::registerClass<KPTableView>(QStringLiteral("KPTableView"));
        return true;
    }();
    Q_UNUSED(registered);
}

// A button shows its artwork over the selected plate of its size; a label shows the picture.
void setImage(QWidget* widget, const QString& name)
{
    if (auto* button = qobject_cast<KPButton*>(widget)) {
        const QString plate =
            QStringLiteral("button_selected_plate") +
            (name.endsWith(QLatin1String("@2x")) ? QStringLiteral("@2x") : QString());
        button->setImage(KPImages::named(name));
        button->setSelectedPlate(KPImages::named(plate));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setPixmap(KPImages::named(name));
    }
}

} // namespace

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
        registerViewClasses();
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
    KPNibWiring::wire(m_view, this, setImage);
    auto* piano = m_view->findChild<KPPianoView*>();
    if (piano && m_recordingsManager) {
        m_recordingsControl = std::make_unique<KPRecordingsManagerControl>(*m_recordingsManager);
        piano->setRecordingsControl(m_recordingsControl.get());
        piano->setRecordingsManager(m_recordingsManager);
    }
    // Without a web server there is no banner to fetch: the button would do nothing visible.
    if (m_newsBtn && !KPServers::isConfigured(KPServers::webServer())) {
        m_newsBtn->hide();
        m_newsBtn->setEnabled(false);
    }
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

// The banner starts just below the bottom edge of the landscape screen and comes to rest
// centred against it.
void KPViewController::newsButton()
{
    if (m_netBannerShowing)
        return;
    const bool pad = KPDeviceIdiom::isPad();
    const int begin = pad ? 770 : 321;
    auto* banner =
        new KPNetworkAdView(pad ? QRect(192, begin, 640, 180) : QRect(80, begin, 320, 90), view());
    connect(banner, &KPNetworkAdView::exited, this, &KPViewController::onExitNetAdView);
    banner->setMyAppIDWithReFormat(KPBundle::bundleIdentifier());
    banner->setLangID(KPLocalization::string("LANG"));
    banner->setAnimParameters(true, begin, pad ? 588 : 230, 0.5f);
    banner->show();
    // Set first: a banner that gives up at once clears it again.
    m_netBannerShowing = true;
    banner->loadWebInfo();
}

void KPViewController::onExitNetAdView()
{
    m_netBannerShowing = false;
}
