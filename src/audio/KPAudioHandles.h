#pragma once

#include <AL/al.h>
#include <AL/alc.h>
#include <sndfile.h>

#include <functional>
#include <memory>
#include <utility>

// Owners of the C handles of OpenAL and libsndfile.

// An OpenAL context. The deleter is given by whoever made the context (the device it lives on may
// have to hold its mixer back while the context goes).
using KPALContextPtr = std::unique_ptr<ALCcontext, std::function<void(ALCcontext*)>>;

// Makes the context not current when it is, then destroys it.
void KPDestroyALContext(ALCcontext* context);

// One OpenAL object name (a buffer or a source). OpenAL deletes names in the context that is
// current, so an owner must be reset while its context is current.
template <void (*Generate)(ALsizei, ALuint*), void (*Delete)(ALsizei, const ALuint*)>
class KPALObject
{
public:
    KPALObject() = default;
    ~KPALObject() { reset(); }
    KPALObject(const KPALObject&) = delete;
    KPALObject& operator=(const KPALObject&) = delete;
    KPALObject(KPALObject&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}
    KPALObject& operator=(KPALObject&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_id = std::exchange(other.m_id, 0);
        }
        return *this;
    }

    // A new name; empty when OpenAL refused (its error tells why).
    [[nodiscard]] static KPALObject generate()
    {
        KPALObject object;
        Generate(1, &object.m_id);
        return object;
    }

    ALuint id() const { return m_id; }
    explicit operator bool() const { return m_id != 0; }

    void reset()
    {
        if (m_id != 0)
            Delete(1, &m_id);
        m_id = 0;
    }

private:
    ALuint m_id = 0;
};

using KPALBuffer = KPALObject<alGenBuffers, alDeleteBuffers>;
using KPALSource = KPALObject<alGenSources, alDeleteSources>;

struct KPSndFileCloser
{
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using KPSndFilePtr = std::unique_ptr<SNDFILE, KPSndFileCloser>;
