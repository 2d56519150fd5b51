#pragma once

#include "net/KPReachabilityBackend.h"
#include "platform/KPUserDefaults.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

class QAbstractButton;
class QMessageBox;

// Counts the uses of each application version and, once the version has been in use long
// enough, asks the user to rate it in the store: rate, decline for good, or be reminded in a
// day. Counters and answers live in the user defaults under the "kRatingPrompt" keys, so they
// survive restarts; a new version starts afresh.
//
// A counted use runs on a short-lived background thread. Uses are queued one after another on
// that one thread, so two close together never lose an increment. The alert, its answers and
// the network test run on the main thread.
class KPRatingPrompt : public QObject
{
    Q_OBJECT

public:
    // Seconds since 1 January 1970.
    using Clock = std::function<double()>;

    static constexpr auto kCurrentVersion = "kRatingPromptCurrentVersion";
    static constexpr auto kFirstUseDate = "kRatingPromptFirstUseDate";
    static constexpr auto kUseCount = "kRatingPromptUseCount";
    static constexpr auto kSignificantEventCount = "kRatingPromptSignificantEventCount";
    static constexpr auto kRatedCurrentVersion = "kRatingPromptRatedCurrentVersion";
    static constexpr auto kDeclinedToRate = "kRatingPromptDeclinedToRate";
    static constexpr auto kReminderRequestDate = "kRatingPromptReminderRequestDate";

    // The alert's answers, by button index.
    enum class Answer { Dismissed = -1, Cancel = 0, Rate = 1, Later = 2 };

    static KPRatingPrompt& sharedInstance();

    // network: where the network test reads its flags; null means never connected.
    KPRatingPrompt(KPUserDefaults& defaults, KPReachabilityBackend* network, Clock clock,
                   QObject* parent = nullptr);
    ~KPRatingPrompt() override;

    // Takes the store identifier (its leading decimal number) and counts the launch as a use
    // that may prompt. Without an identifier (none, or 0) there is no review page to go to:
    // nothing is counted and false is answered.
    bool launch(const QString& appID);
    QFuture<void> appLaunched(bool canPromptForRating = true);
    QFuture<void> appEnteredForeground(bool canPromptForRating);
    void hideRatingAlert();
    // Opens the store's review page; once it opened, never prompts again for this version.
    void rateApp();
    void alertViewClicked(Answer answer);

    // The review page of the application in the store at this base URL.
    static QString reviewPageUrl(const QString& store, quint32 appID);

    quint32 appID() const { return m_appID; }
    quint32 daysUntilPrompt() const { return m_daysUntilPrompt; }
    void setDaysUntilPrompt(quint32 days) { m_daysUntilPrompt = days; }
    quint32 usesUntilPrompt() const { return m_usesUntilPrompt; }
    void setUsesUntilPrompt(quint32 uses) { m_usesUntilPrompt = uses; }
    QString message() const { return m_message; }
    void setMessage(const QString& message) { m_message = message; }
    QMessageBox* ratingAlert() const { return m_ratingAlert.get(); }

private:
    QFuture<void> incrementAndRate(bool canPromptForRating);
    bool connectedToNetwork() const;
    void showRatingAlert();
    void buttonClicked(QAbstractButton* button);

    KPUserDefaults& m_defaults;
    QPointer<KPReachabilityBackend> m_network;
    Clock m_clock;
    std::atomic<quint32> m_appID = 0;
    std::atomic<quint32> m_daysUntilPrompt = 0;
    std::atomic<quint32> m_usesUntilPrompt = 0;
    QString m_message;
    std::unique_ptr<QMessageBox> m_ratingAlert;
    // One thread at most, which ends when idle: counted uses run one after another.
    QThreadPool m_counting;
};
