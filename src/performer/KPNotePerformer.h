#pragma once

#include "performer/KPNoteListener.h"
#include "performer/KPNoteSource.h"
#include "platform/KPClock.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <bitset>
#include <cstdint>
#include <list>
#include <vector>

class KPSoundPlayer;

// The one way a note is played, whoever plays it: the keys view (touch), the computer keys, a
// MIDI keyboard and the playback of a recording. It knows which notes each source holds, so one
// source letting go never ends a note another still holds; it strikes and releases the notes on
// the sound player and tells its listeners (the key pictures, the recorder) of each press and
// release. It speaks MIDI note numbers (0 to 127; others are ignored): key indexes stay at the
// keyboard's edge. Main thread only.
//
// A timed event (`at`, on the program's clock) goes to the sound player at once, so that where
// we mix it lands on its own frame; the sources' notes and the listeners follow when it falls
// due. An event whose time has passed is played at once.
class KPNotePerformer
{
public:
    // Already: the output struck or released the note itself (in its own cycle); the performer
    // only keeps track of it and tells its listeners.
    enum class Sounded { Now, Already };

    explicit KPNotePerformer(KPSoundPlayer& player);
    ~KPNotePerformer();
    KPNotePerformer(const KPNotePerformer&) = delete;
    KPNotePerformer& operator=(const KPNotePerformer&) = delete;

    // Not owned; a listener removes itself before it goes.
    void addListener(KPNoteListener* listener);
    void removeListener(KPNoteListener* listener);

    // A strike always sounds anew, also a note another source holds: it cuts off the earlier
    // instance, as a second strike of a key does.
    void noteOn(KPNoteSource source, uint32_t note, uint8_t velocity,
                Sounded sounded = Sounded::Now);
    void noteOn(KPNoteSource source, uint32_t note, uint8_t velocity, KPClock::TimePoint at);
    // The source lets the note go: it fades unless another source still holds it. Told and
    // faded also when the source did not hold it: lifting every finger releases every key.
    void noteOff(KPNoteSource source, uint32_t note, Sounded sounded = Sounded::Now);
    void noteOff(KPNoteSource source, uint32_t note, KPClock::TimePoint at);
    // Lets go of every note the source holds, lowest first, sustained or not, and cancels its
    // events not yet due; a cancelled strike, already handed to the sound, is let go at its
    // own time unless a source holds the note then.
    void releaseAll(KPNoteSource source);

    // The sustain pedal of the players that have none of their own (touch and computer keys; a
    // MIDI keyboard's pedal is its own, a playback replays what a pedal did): while it is down
    // their releases wait, the notes sounding and held; lifted, the waiting releases land, and
    // are told (and so recorded) then.
    void setSustain(bool down);
    bool sustain() const { return m_sustain; }

    KPSoundPlayer& soundPlayer() const { return m_player; }
    bool holds(KPNoteSource source, uint32_t note) const;
    // By any source.
    bool isHeld(uint32_t note) const;

private:
    static constexpr uint32_t kNoteCount = 128;

    struct Pending
    {
        KPNoteSource source;
        uint32_t note;
        uint8_t velocity;
        bool on;
        KPClock::TimePoint at;
        QPointer<QObject> alarm;
        // A release the sound was not given ahead (another source held the note then).
        bool unsounded = false;
    };

    static bool hasPedal(KPNoteSource source);
    bool heldByOthers(KPNoteSource source, uint32_t note) const;
    // Tells the sound which notes the players on this thread hold or are about to strike, so
    // that a release the output reads in its own cycle (MIDI on JACK) leaves them sounding.
    void publishHeld(uint32_t note);
    void stopIfUnheldAt(uint32_t note, KPClock::TimePoint at);
    void letGo(KPNoteSource source, uint32_t note, Sounded sounded);
    void schedule(const Pending& event);
    void pressed(KPNoteSource source, uint32_t note, uint8_t velocity);
    void released(KPNoteSource source, uint32_t note);

    KPSoundPlayer& m_player;
    std::array<std::bitset<kNoteCount>, kNoteSourceCount> m_held;
    // Held notes whose release waits for the pedal to lift.
    std::array<std::bitset<kNoteCount>, kNoteSourceCount> m_sustained;
    bool m_sustain = false;
    std::vector<KPNoteListener*> m_listeners;
    // Owns the alarms of the events not yet due.
    QObject m_alarms;
    std::list<Pending> m_pending;
};
