#include "app/KPMidiControls.h"

#include "platform/KPUserDefaults.h"
#include "settings/KPMidiConnectionsView.h"
#include "settings/KPSettingsView.h"

namespace {
const QString kSendsPlaybackKey = QStringLiteral("midiOutPlayback");
} // namespace

KPMidiControls::KPMidiControls(KPNotePerformer& performer, KPMidiInput& input,
                               KPUserDefaults& defaults, QWidget* window, QObject* parent)
    : QObject(parent), m_input(input), m_defaults(defaults), m_window(window),
      m_feed(performer, m_output)
{
    m_feed.setSendsPlayback(m_defaults.value(kSendsPlaybackKey).toBool());
}

KPMidiControls::~KPMidiControls() = default;

void KPMidiControls::start()
{
    m_output.start();
}

void KPMidiControls::setJackOutput(std::shared_ptr<KPJackDevice> output)
{
    m_output.setJackOutput(std::move(output));
}

void KPMidiControls::attach(KPSettingsView& panel)
{
    connect(&panel, &KPSettingsView::midiConnectionsRequested, this,
            &KPMidiControls::showConnections);
}

void KPMidiControls::showConnections()
{
    if (!m_view) {
        m_view = std::make_unique<KPMidiConnectionsView>(m_input, m_window);
        m_view->playbackSwitch()->setChecked(m_feed.sendsPlayback());
        connect(m_view.get(), &KPMidiConnectionsView::sendsPlaybackChanged, this,
                [this](bool sends) {
                    m_feed.setSendsPlayback(sends);
                    m_defaults.setValue(kSendsPlaybackKey, sends);
                });
    }
    m_view->show();
    m_view->raise();
    m_view->activateWindow();
}
