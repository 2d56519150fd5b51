#pragma once

#include "net/KPReachability.h"
#include "platform/KPUserDefaults.h"

#include <QObject>
#include <QString>

#include <memory>

class KPCrashReporter;
class KPPianoView;
class KPRecordingsManager;
class KPSoundPlayer;
class KPViewController;
class KPWindow;
class QGuiApplication;

// The application delegate: the launch sequence, the lifecycle events, and which kind of
// device this is.
class KPAppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit KPAppDelegate(KPUserDefaults& defaults = KPUserDefaults::standard(),
                           QObject* parent = nullptr);
    ~KPAppDelegate() override;

    // The delegate of the running application; null before one is made.
    static KPAppDelegate* shared();

    // Maps the toolkit's application states and quitting onto the lifecycle events below.
    void observe(QGuiApplication& application);

    // Neither is owned; both outlive the delegate. The manager comes before the launch, which
    // hands it to the piano screen; without it nothing is recorded.
    void setRecordingsManager(KPRecordingsManager* manager) { m_recordingsManager = manager; }
    // The sound player comes after the launch, once whoever waits for its failure is listening.
    void setSoundPlayer(KPSoundPlayer* player) { m_soundPlayer = player; }

    bool didFinishLaunching();
    // The instrument and the volume of the last run, on the sound player.
    void restoreSound();
    void applicationDidBecomeActive();
    void applicationWillEnterForeground();
    void applicationDidEnterBackground();
    void applicationWillTerminate();

    virtual void registerDefaultsFromSettingsBundle();
    virtual void initializeCrashReporter();
    // Configures and launches the rating prompt; from then on every return to the foreground
    // counts a use.
    virtual void initializeRatingPrompt();
    virtual void fetchAppInfo();
    void internetNotifier();
    void requestResult(const QByteArray& data);
    void requestFailure();

    bool isPhone() const;
    bool isPad() const;

    KPWindow* window() const { return m_window.get(); }
    KPViewController* viewController() const { return m_viewController.get(); }
    QString appID() const { return m_appID; }
    QString adWhirlIphoneID() const { return m_adWhirlIphoneID; }
    QString adMobIpadID() const { return m_adMobIpadID; }
    void setAppID(const QString& id) { m_appID = id; }
    void setAdWhirlIphoneID(const QString& id) { m_adWhirlIphoneID = id; }
    void setAdMobIpadID(const QString& id) { m_adMobIpadID = id; }

signals:
    // The application stops running (suspended) and runs again: sound is interrupted meanwhile.
    void interruptionBegan();
    void interruptionEnded();

protected:
    virtual void createWindow();
    virtual void createViewController();
    virtual void makeKeyAndVisible();
    static QString windowGeometryKey();
    // Where the internet's reachability is read: the system's network information.
    virtual KPReachabilityBackend* reachabilityBackend() const;

private:
    void applicationStateChanged(Qt::ApplicationState state);
    // The piano screen, once the window shows it.
    KPPianoView* pianoView() const;

    KPUserDefaults& m_defaults;
    KPRecordingsManager* m_recordingsManager = nullptr;
    KPSoundPlayer* m_soundPlayer = nullptr;
    std::unique_ptr<KPCrashReporter> m_crashReporter;
    bool m_ratingPromptLaunched = false;
    std::unique_ptr<KPReachability> m_internet;
    std::unique_ptr<KPViewController> m_viewController;
    std::unique_ptr<KPWindow> m_window;
    QString m_appID;
    QString m_adWhirlIphoneID;
    QString m_adMobIpadID;
    Qt::ApplicationState m_state = Qt::ApplicationActive;
    bool m_interrupted = false;
    // Hidden or suspended since the application was last active.
    bool m_away = false;
    bool m_terminated = false;
};
