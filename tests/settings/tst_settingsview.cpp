#include "audio/KPAudioDevice.h"
#include "audio/KPSoundPlayer.h"
#include "KPAudioTestRig.h"
#include "platform/KPDeviceIdiom.h"
#include "platform/KPLocalization.h"
#include "settings/KPSettingsView.h"
#include "settings/KPSettingsViewCell.h"
#include "ui/KPTableView.h"

#include <QtTest>

// The instrument panel as its interface file makes it, offscreen; its player comes once it shows,
// as the program's does.
class TestSettingsView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void captionCountsTheInstruments();
    void touchingARowSwitchesTheInstrumentAndMovesTheMark();
    void namesAndQtsOwnTextsSpeakTheUsersLanguage();
    void volumeSliderSetsHowLoudNotesSound();
    void localSoundSwitchAndMidiButton();

private:
    QStringList markedRows() const;

    KPAudioTest::AudioRig m_speaker;
    std::optional<KPSoundPlayer> m_player;
    std::unique_ptr<KPSettingsView> m_panel;
    KPTableView* m_table = nullptr;
};

void TestSettingsView::initTestCase()
{
    KPAudioDevice::setDefaultOpener(m_speaker.opener());
    KPLocalization::install(QLocale(QLocale::English));
    KPDeviceIdiom::setCurrent(KPIdiom::Pad);
    m_panel = std::make_unique<KPSettingsView>();
    m_panel->resize(440, 520);
    auto* caption = new QLabel(m_panel.get());
    m_table = new KPTableView(m_panel.get());
    m_table->setGeometry(20, 80, 400, 100);
    m_panel->setProperty("tableViewLabel", QVariant::fromValue(caption));
    m_panel->setProperty("tableView", QVariant::fromValue(m_table));
    m_panel->awakeFromNib();
    m_panel->setShowing(true);
    QVERIFY(!m_table->cellForRowAtIndexPath(0));
    m_player.emplace(m_speaker.opener());
    m_panel->setSoundPlayer(&*m_player);
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
}

// The rows show the instrument in German; the bank keeps its name. Qt's buttons speak German too.
void TestSettingsView::namesAndQtsOwnTextsSpeakTheUsersLanguage()
{
    QVERIFY(KPLocalization::install(QLocale(QLocale::German)));
    m_table->reloadData();
    auto* first = qobject_cast<KPSettingsViewCell*>(m_table->cellForRowAtIndexPath(0));
    QCOMPARE(first->textLabel()->text(), QStringLiteral("Flügel"));
    QCOMPARE(m_player->soundBanks().value(0).value(0), QStringLiteral("Grand Piano"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    KPLocalization::install(QLocale(QLocale::English));
    m_table->reloadData();
}

// A note struck at half volume sounds half as loud; the slider follows a volume set elsewhere.
void TestSettingsView::volumeSliderSetsHowLoudNotesSound()
{
    KPSoundPlayer& player = *m_player;
    QSlider* volume = m_panel->volumeSlider();
    QVERIFY(volume->isVisible());
    QVERIFY(m_panel->rect().contains(volume->geometry()));
    // Named on screen, at its left.
    auto* label = m_panel->findChild<QLabel*>(QStringLiteral("volumeLabel"));
    QVERIFY(label && label->isVisible());
    QCOMPARE(label->text(), KPLocalization::string("VOLUME"));
    QVERIFY(label->geometry().right() < volume->x());
    QVERIFY(m_panel->rect().contains(label->geometry()));
    const auto loudness = [&] {
        m_speaker.render(1.0);
        player.play(60);
        const double heard = KPAudioTest::level(m_speaker.render(0.1), 0);
        player.stop(60);
        return heard;
    };
    const double full = loudness();
    volume->setValue(50);
    const double half = loudness();
    QVERIFY2(std::abs(half / full - 0.5) < 0.05, qPrintable(QString::number(half / full)));
    player.setVolume(0.8f);
    m_panel->setShowing(true);
    QCOMPARE(volume->value(), 80);
    volume->setValue(100);
}

// "Local sound" reaches the player and follows a choice kept from the last run; the button beside
// it asks for the MIDI connections.
void TestSettingsView::localSoundSwitchAndMidiButton()
{
    QCheckBox* local = m_panel->localSoundSwitch();
    QPushButton* midi = m_panel->midiButton();
    QVERIFY(local->isVisible() && local->isChecked());
    QVERIFY(m_panel->rect().contains(local->geometry().united(midi->geometry())));
    QVERIFY(!local->geometry().intersects(m_panel->volumeSlider()->geometry()));
    local->click();
    QVERIFY(!m_player->localSound());
    m_player->setLocalSound(true);
    m_panel->setShowing(true);
    QVERIFY(local->isChecked());
    QSignalSpy asked(m_panel.get(), &KPSettingsView::midiConnectionsRequested);
    QTest::mouseClick(midi, Qt::LeftButton);
    QCOMPARE(asked.size(), 1);
}

QStringList TestSettingsView::markedRows() const
{
    QStringList marked;
    for (int row = 0; row < 6; ++row) {
        auto* cell = qobject_cast<KPSettingsViewCell*>(m_table->cellForRowAtIndexPath(row));
        if (cell && cell->accessoryView()->isVisible())
            marked << cell->textLabel()->text();
    }
    return marked;
}

void TestSettingsView::captionCountsTheInstruments()
{
    QCOMPARE(m_table->height(), 420);
    QCOMPARE(m_panel->tableViewLabel()->text(), QStringLiteral("Choose from 6 instruments"));
    auto* first = qobject_cast<KPSettingsViewCell*>(m_table->cellForRowAtIndexPath(0));
    QCOMPARE(first->textLabel()->font().pixelSize(), 26);
    QVERIFY(first->textLabel()->font().bold());
}

void TestSettingsView::touchingARowSwitchesTheInstrumentAndMovesTheMark()
{
    KPSoundPlayer& player = *m_player;
    QCOMPARE(markedRows(), QStringList{"Grand Piano"});
    KPSmartTableViewCell* banjo = m_table->cellForRowAtIndexPath(5);
    QCOMPARE(qobject_cast<KPSettingsViewCell*>(banjo)->textLabel()->text(),
             QStringLiteral("Banjo"));
    QTest::mouseClick(banjo, Qt::LeftButton);
    QCOMPARE(player.activeSoundBank(), QStringLiteral("Banjo"));
    QCOMPARE(markedRows(), QStringList{"Banjo"});

    // The list configured afresh, and the marked row touched again: the mark stays.
    m_table->reloadData();
    QCOMPARE(markedRows(), QStringList{"Banjo"});
    QTest::mouseClick(m_table->cellForRowAtIndexPath(5), Qt::LeftButton);
    QCOMPARE(markedRows(), QStringList{"Banjo"});
}

QTEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
