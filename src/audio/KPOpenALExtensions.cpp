#include "audio/KPOpenALExtensions.h"

#include <AL/alc.h>

namespace {

using BufferDataStaticProc = ALvoid (*)(ALint, ALenum, const ALvoid*, ALsizei, ALsizei);
using MixerOutputRateProc = ALvoid (*)(ALdouble);

// A missing function is looked up again at the next call; a found one is kept.
template <typename Proc> Proc lookUp(Proc& kept, const char* name)
{
    if (!kept)
        kept = reinterpret_cast<Proc>(alcGetProcAddress(nullptr, name));
    return kept;
}

} // namespace

bool BufferDataStatic(ALuint bufferId, ALenum format, const ALvoid* data, ALsizei size,
                      ALsizei frequency)
{
    static BufferDataStaticProc proc = nullptr;
    if (!lookUp(proc, "alBufferDataStatic"))
        return false;
    proc(ALint(bufferId), format, data, size, frequency);
    return true;
}

bool SetMixerOutputRate(ALdouble rate)
{
    static MixerOutputRateProc proc = nullptr;
    if (!lookUp(proc, "alcMacOSXMixerOutputRate"))
        return false;
    proc(rate);
    return true;
}
