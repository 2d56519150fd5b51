#include "audio/KPAudioHandles.h"

void KPDestroyALContext(ALCcontext* context)
{
    if (!context)
        return;
    if (alcGetCurrentContext() == context)
        alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
}
