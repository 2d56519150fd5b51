#include "app/KPAppDelegate.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "audio/KPAudioDevice.h"
#include "audio/KPLoopbackDevice.h"
#include "audio/KPSoundPlayer.h"
#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysView.h"
#include "KPAudioTestRig.h"
#include "platform/KPDeviceIdiom.h"
#include "recordings/KPPlaylistView.h"
#include "recordings/KPRecordingsManager.h"
#include "screen/KPPianoView.h"
#include "ui/KPButton.h"
#include "ui/KPTableView.h"

#include <QPointingDevice>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace KPAudioTest;
using Clock = std::chrono::steady_clock;

// Record three keys on the shown piano, play the recording from the list, and listen: the same
// three notes at the times they were played. Real time throughout: the output is rendered in
// step with the clock, so a note lands in the sound where it was started.
class TestRecordAndPlay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void playedBackAsRecorded();

private:
    QPoint pointOnKey(uint32_t key) const;

    QTemporaryDir m_home;
    std::unique_ptr<KPUserDefaults> m_defaults;
    std::unique_ptr<KPAppDelegate> m_delegate;
    AudioRig m_speaker;
    KPPianoView* m_piano = nullptr;
};

void TestRecordAndPlay::initTestCase()
{
    KPAudioDevice::setDefaultOpener(m_speaker.opener());
    KPSoundPlayer::sharedPlayer();
    QVERIFY(m_speaker.device());
    KPDeviceIdiom::setCurrent(KPIdiom::Phone);
    m_defaults = std::make_unique<KPUserDefaults>(std::make_unique<QSettings>(
        m_home.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat));
    m_delegate = std::make_unique<KPAppDelegate>(*m_defaults);
    m_delegate->didFinishLaunching();
    QVERIFY(QTest::qWaitForWindowExposed(m_delegate->window()));
    m_piano = m_delegate->window()->findChild<KPPianoView*>();
    QVERIFY(m_piano);
}

void TestRecordAndPlay::cleanupTestCase()
{
    m_delegate.reset();
}

QPoint TestRecordAndPlay::pointOnKey(uint32_t key) const
{
    const KPPianoKey* pianoKey = m_piano->keysView()->keyCollection()[qsizetype(key)];
    return pianoKey->mapTo(m_delegate->window(),
                           QPoint(pianoKey->width() / 2, pianoKey->height() - 40));
}

void TestRecordAndPlay::playedBackAsRecorded()
{
    QWidget* window = m_delegate->window();
    QPointingDevice* touchScreen = QTest::createTouchDevice();
    const uint32_t keys[] = {14, 16, 18}; // C3, E3, G3, on screen at the start
    const double notes[] = {130.81, 164.81, 196.00};

    // Each note has faded out before the next one starts, so each onset stands alone.
    QTest::mouseClick(m_piano->buttonRecord(), Qt::LeftButton);
    QVERIFY(KPRecordingsManager::sharedManager().recording());
    QTest::qWait(300);
    for (uint32_t key : keys) {
        QTest::touchEvent(window, touchScreen).press(0, pointOnKey(key), window);
        QTest::qWait(100);
        QTest::touchEvent(window, touchScreen).release(0, pointOnKey(key), window);
        QTest::qWait(700);
    }
    QTest::mouseClick(m_piano->buttonRecord(), Qt::LeftButton);
    // Lifting the last finger also releases every key, so the presses are picked out.
    QList<KPPianoKeyAction> presses;
    for (const KPPianoKeyAction& action :
         KPRecordingsManager::sharedManager().recordings().value(0).actions)
        if (!action.isRelease())
            presses << action;
    QCOMPARE(presses.size(), 3);

    QTest::mouseClick(m_piano->buttonPlaylist(), Qt::LeftButton);
    KPTableView* list = m_piano->playlistView()->tableView();
    QTRY_VERIFY(list->isVisible() && list->cellForRowAtIndexPath(0));
    QTest::qWait(400);
    m_speaker.render(1.0);

    // The output is rendered on a thread of its own in step with the clock, in chunks of about
    // half a millisecond, while the main thread plays.
    KPLoopbackDevice* device = m_speaker.device();
    const int rate = device->sampleRate();
    std::vector<float> heard;
    std::atomic<bool> listening = true;
    const Clock::time_point anchor = Clock::now();
    std::thread listener([&] {
        while (listening) {
            const auto due =
                size_t(std::chrono::duration<double>(Clock::now() - anchor).count() * rate);
            if (due > heard.size() / 2) {
                const std::vector<float> more = device->render(int(due - heard.size() / 2));
                heard.insert(heard.end(), more.begin(), more.end());
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    QTest::qWait(100);
    QWidget* row = list->cellForRowAtIndexPath(0);
    const double clickedAt = std::chrono::duration<double>(Clock::now() - anchor).count();
    QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 20, row->height() / 2));
    bool keyShownPressed = false;
    while (KPRecordingsManager::sharedManager().playing()) {
        QCoreApplication::processEvents();
        keyShownPressed |=
            m_piano->keysView()->keyCollection()[14]->state() == KPPianoKey::stateDown;
    }
    QTest::qWait(300);
    listening = false;
    listener.join();
    QVERIFY(keyShownPressed);

    // Onsets: the first sound after at least 0.15 s of silence (below -60 dB).
    QList<double> onsets;
    size_t quiet = 0;
    for (size_t frame = size_t(clickedAt * rate); frame < heard.size() / 2; ++frame) {
        const float loudest = std::max(std::abs(heard[2 * frame]), std::abs(heard[2 * frame + 1]));
        if (loudest >= 0.001f && (quiet > size_t(0.15 * rate) || onsets.isEmpty()))
            onsets << double(frame) / rate - clickedAt;
        quiet = loudest < 0.001f ? quiet + 1 : 0;
    }
    QCOMPARE(onsets.size(), 3);
    // The first note sounds as the row is touched; the others keep their distance from it.
    QVERIFY2(onsets[0] < 0.02, qPrintable(QString::number(onsets[0])));
    for (int n = 0; n < 3; ++n) {
        QCOMPARE(presses[n].index, int32_t(keys[n]));
        const double recorded = presses[n].interval - presses[0].interval;
        QVERIFY2(std::abs(onsets[n] - onsets[0] - recorded) <= 0.005,
                 qPrintable(QStringLiteral("note %1 at %2 s, recorded at %3 s")
                                .arg(n)
                                .arg(onsets[n] - onsets[0])
                                .arg(recorded)));
        const double pitch = fundamentalPartial(
            heard, rate, notes[n], size_t((clickedAt + onsets[n]) * rate) + 2205, 4410);
        QVERIFY2(std::abs(cents(pitch, notes[n])) < 20, qPrintable(QString::number(pitch)));
    }
}

QTEST_MAIN(TestRecordAndPlay)
#include "tst_recordandplay.moc"
