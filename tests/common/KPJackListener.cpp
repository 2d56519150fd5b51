#include "KPJackListener.h"

#include "audio/KPJackDevice.h"

#include <jack/jack.h>

#include <algorithm>
#include <string>

KPJackListener::KPJackListener(size_t frames) : m_heard(frames * 2)
{
    m_client = jack_client_open("listener", JackNoStartServer, nullptr);
    if (!m_client)
        return;
    for (size_t c = 0; c < m_inputs.size(); ++c)
        m_inputs[c] = jack_port_register(m_client, ("in_" + std::to_string(c + 1)).c_str(),
                                         JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(m_client, &KPJackListener::process, this);
    m_ready = jack_activate(m_client) == 0;
    for (size_t c = 0; m_ready && c < m_inputs.size(); ++c) {
        const std::string from =
            std::string(KPJackDevice::kClientName) + ":out_" + std::to_string(c + 1);
        m_ready = jack_connect(m_client, from.c_str(), jack_port_name(m_inputs[c])) == 0;
    }
}

KPJackListener::~KPJackListener()
{
    if (m_client)
        jack_client_close(m_client);
}

int KPJackListener::process(uint32_t frames, void* self)
{
    auto* listener = static_cast<KPJackListener*>(self);
    const size_t filled = listener->m_filled;
    if (filled == 0)
        listener->m_firstFrame = jack_last_frame_time(listener->m_client);
    const size_t take = std::min<size_t>(frames, listener->m_heard.size() / 2 - filled);
    for (size_t c = 0; c < listener->m_inputs.size(); ++c) {
        const auto* in =
            static_cast<const float*>(jack_port_get_buffer(listener->m_inputs[c], frames));
        for (size_t i = 0; i < take; ++i)
            listener->m_heard[(filled + i) * 2 + c] = in[i];
    }
    listener->m_filled = filled + take;
    return 0;
}
