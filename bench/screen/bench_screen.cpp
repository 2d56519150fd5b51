// Piano screen figures, on the real widgets: how long a touch takes to become a playing voice,
// how exactly the metronome keeps time, and a ten-finger glissando (no stuck notes, slowest event).

#include "app/KPDesktopInputs.h"
#include "app/KPViewController.h"
#include "app/KPWindow.h"
#include "audio/KPSampler.h"
#include "audio/KPSoundPlayer.h"
#include "keyboard/KPPianoKey.h"
#include "keyboard/KPPianoKeysView.h"
#include "performer/KPNotePerformer.h"
#include "platform/KPDeviceIdiom.h"
#include "screen/KPMetronome.h"
#include "screen/KPPianoView.h"
#include "ui/KPButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointingDevice>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The phone screen, shown, with the instrument loaded: as a window of its own, or scaled twice
// its size in the application's window, whose surface then takes the touches.
struct Screen
{
    explicit Screen(bool scaled = false)
    {
        KPDeviceIdiom::setCurrent(KPIdiom::Phone);
        controller = std::make_unique<KPViewController>(QStringLiteral("KPViewController_iPhone"));
        if (scaled) {
            scaledWindow = std::make_unique<KPWindow>(QSize(480, 320));
            scaledWindow->setRootViewController(controller.get());
            scaledWindow->makeKeyAndVisible();
            scaledWindow->resize(960, 640);
            window = scaledWindow.get();
        } else {
            window = controller->view();
            window->resize(480, 320);
            window->show();
        }
        (void)QTest::qWaitForWindowExposed(window);
        piano = controller->view()->findChild<KPPianoView*>();
        // One for the whole run: a view never put in a window is deleted later, after its screen.
        static KPNotePerformer shared(KPSoundPlayer::sharedPlayer());
        performer = &shared;
        piano->setPerformer(performer);
        touchScreen = QTest::createTouchDevice();
    }

    // Low on a white key, below the black keys.
    QPoint pointOnKey(uint32_t key) const
    {
        const KPPianoKey* pianoKey = piano->keysView()->keyCollection()[qsizetype(key)];
        const QPoint low(pianoKey->width() / 2, pianoKey->height() - 40);
        return scaledWindow ? scaledWindow->mapFromView(pianoKey, low).toPoint()
                            : pianoKey->mapTo(window, low);
    }

    int pressedKeys() const
    {
        const auto& keys = piano->keysView()->keyCollection();
        return int(std::count_if(keys.begin(), keys.end(), [](const KPPianoKey* key) {
            return key->state() == KPPianoKey::State::Down;
        }));
    }

    KPNotePerformer* performer = nullptr;
    std::unique_ptr<KPViewController> controller;
    std::unique_ptr<KPWindow> scaledWindow;
    QWidget* window = nullptr;
    KPPianoView* piano = nullptr;
    QPointingDevice* touchScreen = nullptr;
};

// Notes when a touch reaches the keyboard strip, before the keys view's own handling.
class ArrivalClock : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::TouchBegin || event->type() == QEvent::TouchUpdate)
            arrived = Clock::now();
        return false;
    }
    Clock::time_point arrived;
};

void runEventLoopFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

// A touch delivered to the keys view (or, scaled, to the window's surface) until the note's
// voice has been started and every call has returned, over 10,000 presses spread over the keys
// on screen.
void BM_TouchToVoice(benchmark::State& state)
{
    const bool scaled = state.range(0) != 0;
    Screen screen(scaled);
    ArrivalClock arrival;
    // Installed last, so it sees each touch first.
    QWidget* entry = scaled ? screen.scaledWindow->viewport() : screen.piano->keysView()->widget();
    entry->installEventFilter(&arrival);
    const uint32_t firstKey = 14; // C3, at the left edge
    std::vector<double> micros;
    micros.reserve(10000);
    for (auto _ : state) {
        micros.clear();
        for (int press = 0; press < 10000; ++press) {
            const QPoint point = screen.pointOnKey(firstKey + uint32_t(press % 10));
            auto touch = QTest::touchEvent(screen.window, screen.touchScreen, false);
            touch.press(0, point, screen.window);
            touch.commit(false);
            const auto done = Clock::now();
            micros.push_back(
                std::chrono::duration<double, std::micro>(done - arrival.arrived).count());
            touch.release(0, point, screen.window).commit(false);
            if (press % 64 == 0)
                QCoreApplication::processEvents();
        }
    }
    state.counters["median_us"] = percentile(micros, 0.5);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = *std::max_element(micros.begin(), micros.end());
}
BENCHMARK(BM_TouchToVoice)
    ->ArgName("scaled")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A computer key's press handed to the window until the note's voice has been started and every
// call has returned, over 10,000 presses of the lower row's white keys (Z X C V B N M).
void BM_ComputerKeyToVoice(benchmark::State& state)
{
    Screen screen;
    KPDesktopInputs inputs(*screen.piano->keysView(), *screen.performer, screen.window);
    const uint32_t scanCodes[] = {52, 53, 54, 55, 56, 57, 58};
    std::vector<double> micros;
    micros.reserve(10000);
    for (auto _ : state) {
        micros.clear();
        for (int press = 0; press < 10000; ++press) {
            const uint32_t scanCode = scanCodes[press % 7];
            QKeyEvent down(QEvent::KeyPress, 0, Qt::NoModifier, scanCode, 0, 0);
            QKeyEvent up(QEvent::KeyRelease, 0, Qt::NoModifier, scanCode, 0, 0);
            const auto arrived = Clock::now();
            QApplication::sendEvent(screen.window, &down);
            const auto done = Clock::now();
            micros.push_back(std::chrono::duration<double, std::micro>(done - arrived).count());
            QApplication::sendEvent(screen.window, &up);
            if (press % 64 == 0)
                QCoreApplication::processEvents();
        }
    }
    state.counters["median_us"] = percentile(micros, 0.5);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = *std::max_element(micros.begin(), micros.end());
    // Each press must have started its note: the last one still sounds.
    QKeyEvent last(QEvent::KeyPress, 0, Qt::NoModifier, scanCodes[0], 0, 0);
    QApplication::sendEvent(screen.window, &last);
    state.counters["voices_after_a_press"] =
        KPSoundPlayer::sharedPlayer().sampler().playingVoiceCount();
}
BENCHMARK(BM_ComputerKeyToVoice)->Iterations(1)->Unit(benchmark::kMillisecond);

// The metronome at 350 beats per minute for 60 s: each click's start against its ideal time.
void BM_MetronomeAt350(benchmark::State& state)
{
    Screen screen;
    for (int step = 0; step < 23; ++step)
        screen.piano->metronomePlusSelected();
    const double interval = double(1.0f / (350.0f / 60.0f));
    std::vector<double> offsets;
    for (auto _ : state) {
        offsets.clear();
        Clock::time_point started;
        QObject::connect(screen.piano->metronome(), &KPMetronome::beatPlayed, screen.piano, [&] {
            const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
            // Against the nearest point of the beat grid: a click that is missed altogether
            // shows as fewer clicks.
            const double beat = std::max(1.0, std::round(seconds / interval));
            offsets.push_back(std::abs(seconds - beat * interval) * 1000.0);
        });
        started = Clock::now();
        screen.piano->startMetronome();
        runEventLoopFor(60'000 + 100);
        screen.piano->stopMetronome();
    }
    state.counters["clicks"] = double(offsets.size());
    state.counters["first_ms"] = offsets.empty() ? -1.0 : offsets.front();
    state.counters["mean_ms"] =
        std::accumulate(offsets.begin(), offsets.end(), 0.0) / double(offsets.size());
    state.counters["max_ms"] = *std::max_element(offsets.begin(), offsets.end());
}
BENCHMARK(BM_MetronomeAt350)->Iterations(1)->Unit(benchmark::kSecond);

// Ten fingers sliding back and forth across the keyboard for 10 s while the strip moves through
// every octave; then every finger lifts. Reports the slowest touch event (from its arrival at the
// keys view until handled) and what still sounds.
void BM_TenFingerGlissando(benchmark::State& state)
{
    Screen screen;
    KPPianoKeysView* keys = screen.piano->keysView();
    ArrivalClock arrival;
    keys->widget()->installEventFilter(&arrival);
    const QRect strip(keys->mapTo(screen.window, QPoint(0, 0)), keys->size());
    const int fingers = 10;
    std::vector<double> micros;
    for (auto _ : state) {
        micros.clear();
        auto glissando = QTest::touchEvent(screen.window, screen.touchScreen, false);
        const auto place = [&](int finger, double phase) {
            // Each finger sweeps the strip's width, out of step with the others, at its own height.
            const double sweep = 0.5 - 0.5 * std::cos(phase + finger * 0.6);
            const int x = strip.left() + 1 + int(sweep * (strip.width() - 3));
            const int y = strip.top() + 60 + finger * (strip.height() - 80) / fingers;
            return QPoint(x, y);
        };
        for (int finger = 0; finger < fingers; ++finger)
            glissando.press(finger, place(finger, 0), screen.window);
        glissando.commit(false);

        QElapsedTimer running;
        running.start();
        int frame = 0;
        KPOctaveDirection direction = KPOctaveDirection::Higher;
        while (running.elapsed() < 10'000) {
            const double phase = running.elapsed() / 1000.0 * 2.0;
            for (int finger = 0; finger < fingers; ++finger)
                glissando.move(finger, place(finger, phase), screen.window);
            glissando.commit(false);
            const auto done = Clock::now();
            micros.push_back(
                std::chrono::duration<double, std::micro>(done - arrival.arrived).count());
            if (++frame % 60 == 0) {
                // Through every octave and back.
                if (!keys->canChangeOctave(direction))
                    direction = direction == KPOctaveDirection::Higher ? KPOctaveDirection::Lower
                                                                       : KPOctaveDirection::Higher;
                keys->changeOctave(direction);
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 8);
            QThread::msleep(8);
        }
        for (int finger = 0; finger < fingers; ++finger)
            glissando.release(finger, place(finger, running.elapsed() / 1000.0 * 2.0),
                              screen.window);
        glissando.commit(false);
        runEventLoopFor(600);
    }
    state.counters["events"] = double(micros.size());
    state.counters["median_event_us"] = percentile(micros, 0.5);
    state.counters["max_event_us"] = *std::max_element(micros.begin(), micros.end());
    state.counters["voices_sounding_after"] =
        KPSoundPlayer::sharedPlayer().sampler().playingVoiceCount();
    state.counters["keys_down_after"] = screen.pressedKeys();
}
BENCHMARK(BM_TenFingerGlissando)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
