#include "keyboard/KPComputerKeyboard.h"
#include "keyboard/KPKeyboardLayout.h"
#include "keyboard/KPPlayableKeyboard.h"
#include "performer/KPNotePerformer.h"

#include "KPAudioTestRig.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

namespace {

// The keyboard the rows are placed on, and what the performer plays, by MIDI note.
class NoteLog : public KPPlayableKeyboard, public KPNoteListener
{
public:
    void notePressed(KPNoteSource source, uint32_t note, uint8_t velocity) override
    {
        QCOMPARE(source, KPNoteSource::ComputerKeys);
        calls << QStringLiteral("press %1 %2").arg(note).arg(velocity);
    }
    void noteReleased(KPNoteSource /*source*/, uint32_t note, bool /*stillHeld*/) override
    {
        calls << QStringLiteral("release %1").arg(note);
    }
    void changeOctave(KPOctaveDirection direction) override
    {
        if (direction == KPOctaveDirection::Higher && firstC < 42)
            firstC += 7;
        else if (direction == KPOctaveDirection::Lower && firstC > 0)
            firstC -= 7;
    }
    uint32_t leftmostShownC() const override { return firstC; }

    uint32_t firstC = 14; // C3
    QStringList calls;
};

// X11 key codes (evdev + 8) of the physical keys, US names.
enum ScanCode : uint32_t {
    Z = 52,
    S = 39,
    X = 53,
    D = 40,
    C = 54,
    V = 55,
    G = 42,
    B = 56,
    H = 43,
    N = 57,
    J = 44,
    M = 58,
    Comma = 59,
    L = 46,
    Period = 60,
    Semicolon = 47,
    Slash = 61,
    Q = 24,
    Two = 11,
    W = 25,
    Three = 12,
    E = 26,
    R = 27,
    Five = 14,
    T = 28,
    Six = 15,
    Y = 29,
    Seven = 16,
    U = 30,
    I = 31,
    Nine = 18,
    O = 32,
    Zero = 19,
    P = 33,
    BracketLeft = 34,
    Equal = 21,
    BracketRight = 35,
    A = 38,
};

} // namespace

class TestComputerKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowsPlayTheirNotes_data();
    void rowsPlayTheirNotes();
    void autoRepeatNeverStrikesAgain();
    void heldKeyReleasesItsNoteAfterAnOctaveChange();
    void arrowsMoveTheOctave();
    void focusLossReleasesEveryKey();
    void textFieldTakesTheKeys();
    void keysBeyondB7PlayNothing();
    void shortcutsAndOtherKeysPassThrough();
    void twoKeysOfOneNoteReleaseItOnce();
    void shiftIsTheSustainPedal();

private:
    bool send(QEvent::Type type, uint32_t scanCode, bool autoRepeat = false,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier, int key = 0);
    void tap(uint32_t scanCode);

    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_textField = nullptr;
    KPAudioTest::AudioRig m_rig = KPAudioTest::AudioRig::withPlayer();
    KPNotePerformer m_performer{m_rig.player()};
    NoteLog m_keyboard;
    std::unique_ptr<KPComputerKeyboard> m_computerKeys;
};

void TestComputerKeyboard::init()
{
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_textField = new QLineEdit;
    layout->addWidget(m_textField);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->setFocus();
    m_keyboard = NoteLog();
    m_performer.addListener(&m_keyboard);
    m_computerKeys = std::make_unique<KPComputerKeyboard>(m_keyboard, m_performer, m_window.get());
}

void TestComputerKeyboard::cleanup()
{
    m_computerKeys.reset();
    m_performer.removeListener(&m_keyboard);
    m_window.reset();
}

bool TestComputerKeyboard::send(QEvent::Type type, uint32_t scanCode, bool autoRepeat,
                                Qt::KeyboardModifiers modifiers, int key)
{
    QKeyEvent event(type, key, modifiers, scanCode, 0, 0, QString(), autoRepeat);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : m_window.get();
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

void TestComputerKeyboard::tap(uint32_t scanCode)
{
    send(QEvent::KeyPress, scanCode);
    send(QEvent::KeyRelease, scanCode);
}

void TestComputerKeyboard::rowsPlayTheirNotes_data()
{
    QTest::addColumn<QList<uint32_t>>("keys");
    QTest::addColumn<uint32_t>("firstNote");
    QTest::newRow("lower row from C3")
        << QList<uint32_t>{Z, S, X, D, C, V, G, B, H, N, J, M, Comma, L, Period, Semicolon, Slash}
        << 48u;
    QTest::newRow("upper row from C4")
        << QList<uint32_t>{Q,     Two, W, Three, E, R,    Five, T,           Six,   Y,
                           Seven, U,   I, Nine,  O, Zero, P,    BracketLeft, Equal, BracketRight}
        << 60u;
}

void TestComputerKeyboard::rowsPlayTheirNotes()
{
    QFETCH(QList<uint32_t>, keys);
    QFETCH(uint32_t, firstNote);
    QStringList expected;
    for (int i = 0; i < keys.size(); ++i) {
        tap(keys[i]);
        expected << QStringLiteral("press %1 127").arg(firstNote + i)
                 << QStringLiteral("release %1").arg(firstNote + i);
    }
    QCOMPARE(m_keyboard.calls, expected);
}

void TestComputerKeyboard::autoRepeatNeverStrikesAgain()
{
    send(QEvent::KeyPress, Z);
    send(QEvent::KeyRelease, Z, true);
    send(QEvent::KeyPress, Z, true);
    send(QEvent::KeyPress, Z); // a repeat that the system did not mark
    QCOMPARE(m_keyboard.calls, QStringList{"press 48 127"});
    send(QEvent::KeyRelease, Z);
    QCOMPARE(m_keyboard.calls, (QStringList{"press 48 127", "release 48"}));
}

void TestComputerKeyboard::heldKeyReleasesItsNoteAfterAnOctaveChange()
{
    send(QEvent::KeyPress, Z);
    send(QEvent::KeyPress, 0, false, Qt::NoModifier, Qt::Key_Right);
    send(QEvent::KeyRelease, Z);
    tap(Z);
    QCOMPARE(m_keyboard.calls,
             (QStringList{"press 48 127", "release 48", "press 60 127", "release 60"}));
}

void TestComputerKeyboard::arrowsMoveTheOctave()
{
    send(QEvent::KeyPress, 0, false, Qt::NoModifier, Qt::Key_Left);
    send(QEvent::KeyPress, 0, true, Qt::NoModifier, Qt::Key_Left);
    QCOMPARE(m_keyboard.firstC, 7u);
    send(QEvent::KeyPress, 0, false, Qt::NoModifier, Qt::Key_Right);
    send(QEvent::KeyPress, 0, false, Qt::NoModifier, Qt::Key_Right);
    QCOMPARE(m_keyboard.firstC, 21u);
}

void TestComputerKeyboard::focusLossReleasesEveryKey()
{
    send(QEvent::KeyPress, Z);
    send(QEvent::KeyPress, C);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(m_window.get(), &deactivate);
    send(QEvent::KeyRelease, Z);
    QCOMPARE(m_keyboard.calls,
             (QStringList{"press 48 127", "press 52 127", "release 48", "release 52"}));
}

void TestComputerKeyboard::textFieldTakesTheKeys()
{
    send(QEvent::KeyPress, Z);
    m_textField->setFocus();
    QCOMPARE(QApplication::focusWidget(), m_textField);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, X, 0, 0, QStringLiteral("x"));
    QApplication::sendEvent(m_textField, &typed);
    send(QEvent::KeyRelease, Z);
    QCOMPARE(m_textField->text(), QStringLiteral("x"));
    QCOMPARE(m_keyboard.calls, (QStringList{"press 48 127", "release 48"}));
}

void TestComputerKeyboard::keysBeyondB7PlayNothing()
{
    m_keyboard.firstC = 42; // C7
    tap(M);
    tap(Comma);
    tap(BracketRight);
    QCOMPARE(m_keyboard.calls, (QStringList{"press 107 127", "release 107"}));
}

void TestComputerKeyboard::shortcutsAndOtherKeysPassThrough()
{
    QVERIFY(!send(QEvent::KeyPress, Z, false, Qt::ControlModifier));
    QVERIFY(!send(QEvent::KeyPress, A));
    QVERIFY(m_keyboard.calls.isEmpty());
}

void TestComputerKeyboard::twoKeysOfOneNoteReleaseItOnce()
{
    send(QEvent::KeyPress, Comma);
    send(QEvent::KeyPress, Q);
    send(QEvent::KeyRelease, Comma);
    QCOMPARE(m_keyboard.calls, (QStringList{"press 60 127", "press 60 127"}));
    send(QEvent::KeyRelease, Q);
    QCOMPARE(m_keyboard.calls.last(), QStringLiteral("release 60"));
}

// Held, Shift keeps the released notes until it lifts; a lost focus lifts it.
void TestComputerKeyboard::shiftIsTheSustainPedal()
{
    QVERIFY(!send(QEvent::KeyPress, 50, false, Qt::ShiftModifier, Qt::Key_Shift));
    tap(Z);
    QCOMPARE(m_keyboard.calls, QStringList{"press 48 127"});
    send(QEvent::KeyRelease, 50, false, Qt::NoModifier, Qt::Key_Shift);
    QCOMPARE(m_keyboard.calls, (QStringList{"press 48 127", "release 48"}));
    send(QEvent::KeyPress, 50, false, Qt::ShiftModifier, Qt::Key_Shift);
    tap(X);
    m_computerKeys->releaseAll();
    QVERIFY(!m_performer.sustain());
    QCOMPARE(m_keyboard.calls.last(), QStringLiteral("release 50"));
}

QTEST_MAIN(TestComputerKeyboard)
#include "tst_computerkeyboard.moc"
