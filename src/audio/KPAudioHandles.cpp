#include "audio/KPAudioHandles.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

void KPDestroyALContext(ALCcontext* context)
{
    if (!context)
        return;
    if (alcGetThreadContext() == context)
        alcSetThreadContext(nullptr);
    if (alcGetCurrentContext() == context)
        alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
}
