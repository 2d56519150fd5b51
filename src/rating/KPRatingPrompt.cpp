#include "rating/KPRatingPrompt.h"

#include "net/KPNetworkInformationBackend.h"
#include "net/KPServers.h"
#include "platform/KPLocalization.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPromise>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr auto kReviewPageTemplate =
    "/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=APP_ID";

double systemClock()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

// A counted use: the counters belong to one version; a new version starts them afresh.
void incrementUseCount(QSettings& store, const QString& version, double now)
{
    QString tracked = store.value(key(KPRatingPrompt::kCurrentVersion)).toString();
    if (tracked.isEmpty()) {
        store.setValue(key(KPRatingPrompt::kCurrentVersion), version);
        tracked = version;
    }
    if (tracked == version) {
        if (store.value(key(KPRatingPrompt::kFirstUseDate)).toDouble() == 0)
            store.setValue(key(KPRatingPrompt::kFirstUseDate), now);
        store.setValue(key(KPRatingPrompt::kUseCount),
                       store.value(key(KPRatingPrompt::kUseCount)).toLongLong() + 1);
    } else {
        store.setValue(key(KPRatingPrompt::kCurrentVersion), version);
        store.setValue(key(KPRatingPrompt::kFirstUseDate), now);
        store.setValue(key(KPRatingPrompt::kUseCount), 1);
        store.setValue(key(KPRatingPrompt::kSignificantEventCount), 0);
        store.setValue(key(KPRatingPrompt::kRatedCurrentVersion), false);
        store.setValue(key(KPRatingPrompt::kDeclinedToRate), false);
        store.setValue(key(KPRatingPrompt::kReminderRequestDate), 0.0);
    }
    store.sync();
}

// Each condition that fails answers no at once: too early, too few uses, no significant
// events, an answer already given for this version, a reminder asked for less than a day ago.
bool ratingConditionsHaveBeenMet(const QSettings& store, double now, quint32 days, quint32 uses)
{
    if (now - store.value(key(KPRatingPrompt::kFirstUseDate)).toDouble() < days * kSecondsPerDay)
        return false;
    if (store.value(key(KPRatingPrompt::kUseCount)).toLongLong() <= qint64(uses))
        return false;
    if (store.value(key(KPRatingPrompt::kSignificantEventCount)).toLongLong() < 0)
        return false;
    if (store.value(key(KPRatingPrompt::kDeclinedToRate)).toBool() ||
        store.value(key(KPRatingPrompt::kRatedCurrentVersion)).toBool())
        return false;
    if (now - store.value(key(KPRatingPrompt::kReminderRequestDate)).toDouble() < kSecondsPerDay)
        return false;
    return true;
}

// The leading decimal number of the text, as a store identifier; 0 when there is none.
quint32 leadingNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*\\+?(\\d+)"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(1).toUInt() : 0;
}

} // namespace

KPRatingPrompt& KPRatingPrompt::sharedInstance()
{
    // Made once, on the main thread, under the lock of a static's initialisation; it lives as
    // long as the application object that owns it.
    static KPRatingPrompt* const instance =
        new KPRatingPrompt(KPUserDefaults::standard(), KPNetworkInformationBackend::shared(),
                           systemClock, QCoreApplication::instance());
    return *instance;
}

KPRatingPrompt::KPRatingPrompt(KPUserDefaults& defaults, KPReachabilityBackend* network,
                               Clock clock, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_network(network), m_clock(std::move(clock))
{
    m_counting.setMaxThreadCount(1);
    m_counting.setExpiryTimeout(1000);
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state != Qt::ApplicationActive)
                        hideRatingAlert();
                });
        // No window may outlive the application object.
        connect(application, &QCoreApplication::aboutToQuit, this,
                [this] { m_ratingAlert.reset(); });
    }
}

KPRatingPrompt::~KPRatingPrompt()
{
    m_counting.waitForDone();
}

bool KPRatingPrompt::launch(const QString& appID)
{
    m_appID = leadingNumber(appID);
    if (m_appID == 0) {
        qInfo("KPRatingPrompt: No store identifier: no prompt");
        return false;
    }
    appLaunched(true);
    qInfo("KPRatingPrompt: Using appID: %u", quint32(m_appID));
    return true;
}

QFuture<void> KPRatingPrompt::appLaunched(bool canPromptForRating)
{
    return incrementAndRate(canPromptForRating);
}

QFuture<void> KPRatingPrompt::appEnteredForeground(bool canPromptForRating)
{
    return incrementAndRate(canPromptForRating);
}

QFuture<void> KPRatingPrompt::incrementAndRate(bool canPromptForRating)
{
    // What the use needs is taken now, on the caller's thread; the worker reads the store
    // through a settings object of its own (one QSettings is not to be shared by threads).
    const QString version = QCoreApplication::applicationVersion();
    const double now = m_clock();
    const quint32 days = m_daysUntilPrompt;
    const quint32 uses = m_usesUntilPrompt;
    const QString file = m_defaults.settings().fileName();
    const QSettings::Format format = m_defaults.settings().format();
    // The future is not tied to the task: waiting for it never runs the task on the waiting
    // thread, so uses stay in their order on the pool's one thread.
    auto counted = std::make_shared<QPromise<void>>();
    counted->start();
    QFuture<void> future = counted->future();
    m_counting.start([=, this] {
        QSettings store(file, format);
        incrementUseCount(store, version, now);
        if (canPromptForRating && ratingConditionsHaveBeenMet(store, now, days, uses))
            // The network test reads the main thread's network information: it runs there.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (connectedToNetwork())
                        showRatingAlert();
                },
                Qt::QueuedConnection);
        counted->finish();
    });
    return future;
}

// Reachable without first having to set up a connection, or reachable through a transient
// one. There is no probe of an outside web page: its answer would not change the outcome.
bool KPRatingPrompt::connectedToNetwork() const
{
    const std::optional<KPReachabilityFlags> flags =
        m_network ? m_network->flags(false) : std::nullopt;
    if (!flags) {
        qWarning("Error. Could not recover network reachability flags");
        return false;
    }
    return (flags->testFlag(KPReachabilityFlag::Reachable) &&
            !flags->testFlag(KPReachabilityFlag::ConnectionRequired)) ||
           flags->testFlag(KPReachabilityFlag::TransientConnection);
}

void KPRatingPrompt::showRatingAlert()
{
    // One prompt on screen at a time.
    if (m_ratingAlert && m_ratingAlert->isVisible())
        return;
    const QString name = QGuiApplication::applicationDisplayName();
    m_ratingAlert = std::make_unique<QMessageBox>();
    m_ratingAlert->setWindowTitle(name);
    m_ratingAlert->setText(KPLocalization::string("RATETITLE").arg(name));
    m_ratingAlert->setInformativeText(m_message);
    m_ratingAlert->addButton(KPLocalization::string("RATECANCEL"), QMessageBox::RejectRole);
    m_ratingAlert->setDefaultButton(m_ratingAlert->addButton(
        KPLocalization::string("RATEBTN").arg(name), QMessageBox::AcceptRole));
    // Escape means "not now", not "never".
    m_ratingAlert->setEscapeButton(
        m_ratingAlert->addButton(KPLocalization::string("RATELATER"), QMessageBox::ActionRole));
    m_ratingAlert->setWindowModality(Qt::NonModal);
    connect(m_ratingAlert.get(), &QMessageBox::buttonClicked, this, &KPRatingPrompt::buttonClicked);
    m_ratingAlert->show();
}

void KPRatingPrompt::buttonClicked(QAbstractButton* button)
{
    switch (m_ratingAlert->buttonRole(button)) {
    case QMessageBox::RejectRole:
        alertViewClicked(Answer::Cancel);
        break;
    case QMessageBox::AcceptRole:
        alertViewClicked(Answer::Rate);
        break;
    case QMessageBox::ActionRole:
        alertViewClicked(Answer::Later);
        break;
    default:
        break;
    }
}

void KPRatingPrompt::alertViewClicked(Answer answer)
{
    switch (answer) {
    case Answer::Cancel:
        m_defaults.setValue(key(kDeclinedToRate), true);
        m_defaults.settings().sync();
        break;
    case Answer::Rate:
        rateApp();
        break;
    case Answer::Later:
        m_defaults.setValue(key(kReminderRequestDate), m_clock());
        m_defaults.settings().sync();
        break;
    case Answer::Dismissed:
        break;
    }
}

void KPRatingPrompt::hideRatingAlert()
{
    // Gone without an answer: the prompt may come again at a later counted use.
    if (m_ratingAlert && m_ratingAlert->isVisible())
        m_ratingAlert->hide();
}

QString KPRatingPrompt::reviewPageUrl(const QString& store, quint32 appID)
{
    return store + QString::fromLatin1(kReviewPageTemplate)
                       .replace(QStringLiteral("APP_ID"), QString::number(appID));
}

// A page on a host that was never named cannot open: the user is asked again later.
void KPRatingPrompt::rateApp()
{
    const QString page = reviewPageUrl(KPServers::storeServer(m_defaults), m_appID);
    if (!KPServers::isConfigured(page) || !QDesktopServices::openUrl(QUrl(page))) {
        qWarning("KPRatingPrompt: Could not open %s", qPrintable(page));
        return;
    }
    m_defaults.setValue(key(kRatedCurrentVersion), true);
    m_defaults.settings().sync();
}
