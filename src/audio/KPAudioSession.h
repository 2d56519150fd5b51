#pragma once

#include <cstdint>

// A four-character code as the audio session's properties and values are named ("solo").
constexpr uint32_t KPFourCharCode(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
           uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

// The application's audio session: whether its audio is active, its category, and the
// interruptions (the application suspended and resumed) that its listener hears of. One per
// process; the application calls beginInterruption and endInterruption on the main thread.
class KPAudioSession
{
public:
    static constexpr uint32_t kAudioSessionProperty_AudioCategory = KPFourCharCode("acat");
    static constexpr uint32_t kAudioSessionCategory_SoloAmbientSound = KPFourCharCode("solo");
    static constexpr uint32_t kAudioSessionBeginInterruption = 1;
    static constexpr uint32_t kAudioSessionEndInterruption = 0;

    using InterruptionListener = void (*)(void* clientData, uint32_t interruptionState);

    static KPAudioSession& sharedSession();

    // Registers the listener with its client data, replacing any earlier one.
    void initialize(InterruptionListener listener, void* clientData);
    // Forgets the listener registered with this client data (its owner is going away).
    void removeInterruptionListener(void* clientData);

    // Sets a property of the session; only the audio category is known. Returns whether it was.
    bool setProperty(uint32_t property, uint32_t value);
    uint32_t category() const { return m_category; }

    void setActive(bool active) { m_active = active; }
    bool isActive() const { return m_active; }

    // The application stops and restarts its audio. Each tells the listener once per change:
    // a second begin without an end between them says nothing.
    void beginInterruption();
    void endInterruption();
    bool isInterrupted() const { return m_interrupted; }

private:
    void notify(uint32_t interruptionState);

    InterruptionListener m_listener = nullptr;
    void* m_clientData = nullptr;
    uint32_t m_category = 0;
    bool m_active = false;
    bool m_interrupted = false;
};
