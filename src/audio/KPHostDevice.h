#pragma once

#include "audio/KPLoopbackDevice.h"

#include <atomic>
#include <functional>
#include <mutex>

// A loopback device rendered by a sound server's own audio callback (JACK, PipeWire) or by a
// thread that writes to a sound card (ALSA). The output can be lost while it plays: its server
// goes away, or refuses the stream. It then stays, silent, and `lost` is called once, on
// whichever thread found out, until whoever chose the output moves the sound elsewhere.
class KPHostDevice : public KPLoopbackDevice
{
public:
    using LostHandler = std::function<void()>;

    bool isLost() const { return m_lost.load(); }
    // No one is called any more when the output is lost (whoever was is going away).
    void forgetLost();
    // How the output names itself in the log and the window ("JACK", "PipeWire", "ALSA").
    virtual const char* outputName() const = 0;

protected:
    KPHostDevice(ALCdevice* device, int sampleRate, LostHandler lost);
    // From any thread, any number of times: the handler hears of it once.
    void lose();

private:
    std::atomic<bool> m_lost = false;
    std::mutex m_lostLock;
    LostHandler m_lostHandler;
};
