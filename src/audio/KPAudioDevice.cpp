#include "audio/KPAudioDevice.h"

KPALContextPtr KPAudioDevice::createContext()
{
    return KPALContextPtr(alcCreateContext(get(), nullptr), KPDestroyALContext);
}
