// The bare OpenAL Soft program the latency benchmark compares the piano with: a MIDI note-on on
// its JACK port "probe:in" starts a click at once, from RtMidi's thread, through one source.
// Runs until it is terminated.

#include <AL/al.h>
#include <AL/alc.h>
#include <RtMidi.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

void trigger(double /*timeStamp*/, std::vector<unsigned char>* message, void* source)
{
    if (message->size() == 3 && ((*message)[0] & 0xF0) == 0x90 && (*message)[2] > 0) {
        const ALuint id = *static_cast<ALuint*>(source);
        alSourceStop(id);
        alSourcePlay(id);
    }
}

} // namespace

int main()
{
    ALCdevice* device = alcOpenDevice(nullptr);
    ALCcontext* context = device ? alcCreateContext(device, nullptr) : nullptr;
    if (!context || !alcMakeContextCurrent(context)) {
        std::fprintf(stderr, "openal_probe: no OpenAL output\n");
        return 1;
    }
    // 2 ms of a full-scale square wave at 1 kHz.
    ALint rate = 48000;
    alcGetIntegerv(device, ALC_FREQUENCY, 1, &rate);
    std::vector<short> click(size_t(rate / 500));
    for (size_t i = 0; i < click.size(); ++i)
        click[i] = (i * 1000 / size_t(rate)) % 2 ? -16000 : 16000;
    ALuint buffer = 0;
    ALuint source = 0;
    alGenBuffers(1, &buffer);
    alBufferData(buffer, AL_FORMAT_MONO16, click.data(), ALsizei(click.size() * sizeof(short)),
                 rate);
    alGenSources(1, &source);
    alSourcei(source, AL_BUFFER, ALint(buffer));

    RtMidiIn input(RtMidi::UNIX_JACK, "probe");
    input.setCallback(trigger, &source);
    input.openVirtualPort("in");
    std::fprintf(stderr, "openal_probe: ready\n");
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}
