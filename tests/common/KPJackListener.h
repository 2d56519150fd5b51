#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

struct _jack_client;
struct _jack_port;

// A client of the test's own that records what reaches its two inputs from the JACK output's
// ports (KPJackDevice), `frames` long from its first cycle on.
class KPJackListener
{
public:
    explicit KPJackListener(size_t frames);
    ~KPJackListener();
    KPJackListener(const KPJackListener&) = delete;
    KPJackListener& operator=(const KPJackListener&) = delete;

    bool isReady() const { return m_ready; }
    // Interleaved stereo, once the whole length was heard.
    bool full() const { return m_filled == m_heard.size() / 2; }
    bool started() const { return m_filled > 0; }
    const std::vector<float>& heard() const { return m_heard; }
    // The server's frame of heard()'s first.
    uint32_t firstFrame() const { return m_firstFrame; }

private:
    static int process(uint32_t frames, void* self);

    _jack_client* m_client = nullptr;
    std::array<_jack_port*, 2> m_inputs{};
    std::vector<float> m_heard;
    std::atomic<size_t> m_filled = 0;
    std::atomic<uint32_t> m_firstFrame = 0;
    bool m_ready = false;
};
