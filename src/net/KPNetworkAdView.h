#pragma once

#include <QPointer>
#include <QWidget>

class KPButton;
class QLabel;
class QPropertyAnimation;

// The cross-promotion banner: a strip that fetches a picture, a message and a store link from
// the maker's web server, slides in, opens the link when touched, and slides out from its close
// button. Everything runs on the main thread without blocking: the fetch is a chain of
// asynchronous requests (a probe of the web server's home page, the banner's answer, the
// picture). When the probe or the answer fails, the banner removes itself and reports exited(),
// so that its opener may try again; a missing picture leaves a white background instead.
class KPNetworkAdView : public QWidget
{
    Q_OBJECT

public:
    explicit KPNetworkAdView(const QRect& frame, QWidget* parent = nullptr);

    // The slides move the frame's y (vertical) or x between begin (out of sight) and end.
    // The creator places the banner at begin itself.
    void setAnimParameters(bool vertical, float begin, float end, float duration);
    // Keeps the bundle identifier with every "." made "_".
    void setMyAppIDWithReFormat(const QString& bundleIdentifier);
    void setLangID(const QString& langID) { m_langID = langID; }

    QString generateURLString() const;
    // The banner request for a frame of the given size in points on a screen of this scale.
    static QString bannerURL(const QString& webServer, const QString& appID, const QString& langID,
                             QSizeF points, qreal scale);

    void loadWebInfo();
    void fetchedData(const QByteArray& data);
    void gotoAppURL();
    void exitWebInfo();

signals:
    // The banner was closed, or gave up: its opener may open another.
    void exited();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void requestBanner(const QString& url);
    void showPicture(const QByteArray& data);
    void slideTo(float value);
    void abandon();

    QString m_myAppID;
    QString m_langID;
    QString m_imageURL;
    QString m_appURL;
    QString m_bannerMsg;
    // In the order they are stacked, the close button on top.
    QLabel* m_bgImage;
    QLabel* m_msgLabel;
    KPButton* m_exitWebBtn;
    float m_startValue = 0;
    float m_endValue = 0;
    float m_timeValue = 0;
    bool m_verticalAnim = false;
    bool m_closed = false;
    QPointer<QPropertyAnimation> m_slide;
};
