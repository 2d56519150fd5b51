#pragma once

#include <AL/al.h>

// OpenAL extension functions that some implementations offer, looked up by name on first use.
// OpenAL Soft has neither; the calls then do nothing and say so.

// Hands a PCM block to a buffer without copying ("alBufferDataStatic"); the block must then live
// until the buffer is deleted. Returns false, having done nothing, when the extension is missing.
bool BufferDataStatic(ALuint bufferId, ALenum format, const ALvoid* data, ALsizei size,
                      ALsizei frequency);

// Asks the mixer to run at this rate ("alcMacOSXMixerOutputRate"). Returns false, having done
// nothing, when the extension is missing.
bool SetMixerOutputRate(ALdouble rate);
