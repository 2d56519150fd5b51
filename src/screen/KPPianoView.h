#pragma once

#include "settings/KPSettingsView.h"
#include "ui/KPButton.h"

#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

class KPMetronome;
class KPNotePerformer;
class KPPianoKeysView;
class KPPlaylistView;
class KPRecordingsControl;
class KPRecordingsManager;
class KPTouchPlayer;
class QAbstractAnimation;
class QAbstractButton;

// The main screen: hands the keyboard to the note performer, answers the toolbar, slides the
// panels in and out, and shows the metronome on its buttons and label.
class KPPianoView : public QWidget
{
    Q_OBJECT
    // Outlets, connected by name from the interface file.
    Q_PROPERTY(KPButton* buttonRecord MEMBER m_buttonRecord)
    Q_PROPERTY(KPButton* buttonPlaylist MEMBER m_buttonPlaylist)
    Q_PROPERTY(KPButton* buttonMetronome MEMBER m_buttonMetronome)
    Q_PROPERTY(KPButton* buttonSettings MEMBER m_buttonSettings)
    Q_PROPERTY(KPButton* buttonSustain MEMBER m_buttonSustain)
    Q_PROPERTY(KPButton* buttonMetronomeMinus MEMBER m_buttonMetronomeMinus)
    Q_PROPERTY(KPButton* buttonMetronomePlus MEMBER m_buttonMetronomePlus)
    Q_PROPERTY(QLabel* labelMetronome MEMBER m_labelMetronome)
    Q_PROPERTY(KPButton* buttonOverlay MEMBER m_buttonOverlay)
    Q_PROPERTY(KPSettingsView* settingsView MEMBER m_settingsView)

public:
    // Bits of resetActionsExcluding(): a clear bit ends that activity.
    enum Activity : uint32_t {
        Recording = 2,
        PlaylistPanel = 4,
        Metronome = 8,
        SettingsPanel = 16,
    };

    explicit KPPianoView(QWidget* parent = nullptr);
    ~KPPianoView() override;

    Q_INVOKABLE void awakeFromNib();

    void setRecordingsControl(KPRecordingsControl* recordings);
    // The playlist lists its recordings and a take it saves is announced. Given once; not owned,
    // it outlives the view.
    void setRecordingsManager(KPRecordingsManager* manager);
    // The keys play through it and show what it plays, the instrument panel chooses on its sound
    // player; not owned, it outlives the view.
    void setPerformer(KPNotePerformer* performer);

    void resetActionsExcluding(uint32_t mask);
    void showPlaylist();
    void closePlaylist();
    void showSettings();
    void closeSettings();
    void startRecording();
    void stopRecording();
    void switchRecordingHighlight();
    void showRecordingPopup();

    void startMetronome();
    void stopMetronome();
    void updateMetronomeText();
    // The tempo up (beats above 0) or down by so many beats, as the buttons do, which it enables
    // and disables; false when the metronome refused the step.
    bool changeTempo(int beats);

    // The view's width in points that shows `octaves` whole octaves of keys between its margins.
    int widthShowingOctaves(int octaves) const;

    KPPianoKeysView* keysView() const { return m_keysView; }
    KPPlaylistView* playlistView() const { return m_playlistView; }
    KPSettingsView* settingsView() const { return m_settingsView; }
    bool showingPlaylist() const { return m_showingPlaylist; }
    bool showingSettings() const { return m_showingSettings; }
    KPMetronome* metronome() const { return m_metronome; }
    KPButton* buttonRecord() const { return m_buttonRecord; }
    KPButton* buttonPlaylist() const { return m_buttonPlaylist; }
    KPButton* buttonMetronome() const { return m_buttonMetronome; }
    KPButton* buttonSettings() const { return m_buttonSettings; }
    KPButton* buttonSustain() const { return m_buttonSustain; }
    KPButton* buttonMetronomeMinus() const { return m_buttonMetronomeMinus; }
    KPButton* buttonMetronomePlus() const { return m_buttonMetronomePlus; }
    QLabel* labelMetronome() const { return m_labelMetronome; }
    KPButton* buttonOverlay() const { return m_buttonOverlay; }

public slots:
    void octaveSelected(QAbstractButton* sender);
    void recordSelected();
    void playlistSelected();
    void settingsSelected();
    // Puts the performer's sustain pedal down or lifts it; the button is lit while it is down,
    // whoever put it down.
    void sustainSelected();
    void overlaySelected();
    void metronomeSelected();
    void metronomeMinusSelected();
    void metronomePlusSelected();

protected:
    // Wider than designed, the keyboard shows more keys and the toolbar spreads: the controls
    // from the metronome on keep to the right edge, the settings panel to the middle.
    void resizeEvent(QResizeEvent* event) override;
    // The wheel over the tempo or its buttons moves the tempo one beat a notch.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isRecording() const;
    void layOutWidth();
    void addPlaylist();
    void setRecordImage(const char* name);
    void slidePanel(QWidget* panel, QPointer<QAbstractAnimation>& running, int y, bool in);
    void setOverlayAlpha(qreal alpha, bool takesTouches);
    void updateOctaveButtons();

    KPPianoKeysView* m_keysView = nullptr;
    bool m_showingPlaylist = false;
    KPPlaylistView* m_playlistView = nullptr;
    bool m_showingSettings = false;
    KPSettingsView* m_settingsView = nullptr;
    KPMetronome* m_metronome;
    KPButton* m_buttonRecord = nullptr;
    KPButton* m_buttonPlaylist = nullptr;
    KPButton* m_buttonMetronome = nullptr;
    KPButton* m_buttonSettings = nullptr;
    KPButton* m_buttonSustain = nullptr;
    KPButton* m_buttonMetronomeMinus = nullptr;
    KPButton* m_buttonMetronomePlus = nullptr;
    QLabel* m_labelMetronome = nullptr;
    KPButton* m_buttonOverlay = nullptr;

    // The width the interface file lays out, and where it puts each of the view's children.
    int m_designedWidth = 0;
    QHash<QWidget*, QRect> m_designedFrames;

    KPRecordingsControl* m_recordings = nullptr;
    KPRecordingsManager* m_manager = nullptr;
    KPNotePerformer* m_performer = nullptr;
    std::unique_ptr<KPTouchPlayer> m_touchPlayer;
    // Lights the sustain button as the performer's pedal goes down and up.
    class SustainLight;
    std::unique_ptr<SustainLight> m_sustainLight;
    QPointer<QAbstractAnimation> m_playlistSlide;
    QPointer<QAbstractAnimation> m_settingsSlide;
    QPointer<QAbstractAnimation> m_overlayFade;
    qreal m_overlayAlpha = 0;
    // What the wheel turned short of a notch, so a touchpad's small steps add up.
    int m_wheelRest = 0;
};
