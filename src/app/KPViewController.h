#pragma once

#include "ui/KPButton.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

class KPRecordingsManager;
class KPRecordingsManagerControl;

// The window's root view controller: its view and everything in it come from the interface
// file for the device idiom.
class KPViewController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(KPButton* newsBtn MEMBER m_newsBtn)

public:
    // Orientations, with the toolkit's values.
    enum Orientation {
        Portrait = 1,
        PortraitUpsideDown = 2,
        LandscapeRight = 3,
        LandscapeLeft = 4,
    };

    explicit KPViewController(const QString& nibName, QObject* parent = nullptr);
    ~KPViewController() override;

    // Not owned; given before the view loads, the piano screen records into it and lists its
    // recordings. Without it the screen neither records nor lists.
    void setRecordingsManager(KPRecordingsManager* manager) { m_recordingsManager = manager; }
    // The view, loaded from the interface file the first time it is asked for.
    QWidget* view();
    bool isViewLoaded() const { return m_viewLoaded; }
    QString nibName() const { return m_nibName; }

    void viewDidLoad();
    void initializeAds();
    bool shouldAutorotateToInterfaceOrientation(int orientation) const;

    KPButton* newsBtn() const { return m_newsBtn; }
    bool netBannerShowing() const { return m_netBannerShowing; }
    bool adsInitialized() const { return m_adsInitialized; }

public slots:
    void newsButton();
    void onExitNetAdView();

private:
    void loadView();

    QString m_nibName;
    QPointer<QWidget> m_view;
    bool m_netBannerShowing = false;
    bool m_viewLoaded = false;
    bool m_adsInitialized = false;
    KPButton* m_newsBtn = nullptr;
    KPRecordingsManager* m_recordingsManager = nullptr;
    std::unique_ptr<KPRecordingsManagerControl> m_recordingsControl;
};
