#include "performer/KPNotePerformer.h"

#include "audio/KPSoundPlayer.h"

#include <algorithm>
#include <utility>

namespace {

size_t indexOf(KPNoteSource source)
{
    return size_t(source);
}

} // namespace

KPNotePerformer::KPNotePerformer(KPSoundPlayer& player) : m_player(player) {}

KPNotePerformer::~KPNotePerformer() = default;

void KPNotePerformer::addListener(KPNoteListener* listener)
{
    if (listener &&
        std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void KPNotePerformer::removeListener(KPNoteListener* listener)
{
    std::erase(m_listeners, listener);
}

bool KPNotePerformer::holds(KPNoteSource source, uint32_t note) const
{
    return note < kNoteCount && m_held[indexOf(source)].test(note);
}

bool KPNotePerformer::isHeld(uint32_t note) const
{
    return note < kNoteCount && std::any_of(m_held.begin(), m_held.end(),
                                            [note](const auto& notes) { return notes.test(note); });
}

bool KPNotePerformer::heldByOthers(KPNoteSource source, uint32_t note) const
{
    for (size_t other = 0; other < kNoteSourceCount; ++other) {
        if (other != indexOf(source) && m_held[other].test(note))
            return true;
    }
    return false;
}

void KPNotePerformer::noteOn(KPNoteSource source, uint32_t note, uint8_t velocity, Sounded sounded)
{
    if (note >= kNoteCount)
        return;
    m_sustained[indexOf(source)].reset(note);
    if (source != KPNoteSource::Midi)
        m_player.sampler().setHeldElsewhere(int(note), true);
    if (sounded == Sounded::Now)
        m_player.play(note, velocity);
    pressed(source, note, velocity);
}

void KPNotePerformer::noteOff(KPNoteSource source, uint32_t note, Sounded sounded)
{
    if (note >= kNoteCount)
        return;
    if (m_sustain && hasPedal(source) && holds(source, note))
        m_sustained[indexOf(source)].set(note);
    else
        letGo(source, note, sounded);
}

void KPNotePerformer::letGo(KPNoteSource source, uint32_t note, Sounded sounded)
{
    if (sounded == Sounded::Now && !heldByOthers(source, note))
        m_player.stop(note);
    released(source, note);
}

void KPNotePerformer::noteOn(KPNoteSource source, uint32_t note, uint8_t velocity,
                             KPClock::TimePoint at)
{
    if (at <= KPClock::current().now()) {
        noteOn(source, note, velocity);
        return;
    }
    if (note >= kNoteCount)
        return;
    if (source != KPNoteSource::Midi)
        m_player.sampler().setHeldElsewhere(int(note), true);
    m_player.play(note, velocity, at);
    schedule({source, note, velocity, true, at, nullptr});
}

// Whether another source will hold the note then is judged now, so that the sound knows ahead;
// if none does when the release falls due after all, the note is let go then.
void KPNotePerformer::noteOff(KPNoteSource source, uint32_t note, KPClock::TimePoint at)
{
    if (at <= KPClock::current().now()) {
        noteOff(source, note);
        return;
    }
    if (note >= kNoteCount)
        return;
    const bool othersHold = heldByOthers(source, note);
    if (!othersHold)
        m_player.stop(note, at);
    schedule({source, note, 0, false, at, nullptr, othersHold});
}

void KPNotePerformer::schedule(const Pending& event)
{
    const auto entry = m_pending.insert(m_pending.end(), event);
    entry->alarm =
        KPClock::current().wakeAt(&m_alarms, event.at, KPClock::Precision::Exact, [this, entry] {
            const Pending due = *entry;
            m_pending.erase(entry);
            if (due.on) {
                pressed(due.source, due.note, due.velocity);
                return;
            }
            released(due.source, due.note);
            if (due.unsounded && !isHeld(due.note))
                m_player.stop(due.note);
        });
}

bool KPNotePerformer::hasPedal(KPNoteSource source)
{
    return source == KPNoteSource::Touch || source == KPNoteSource::ComputerKeys;
}

void KPNotePerformer::setSustain(bool down)
{
    if (m_sustain == down)
        return;
    m_sustain = down;
    const std::vector<KPNoteListener*> listeners = m_listeners;
    for (KPNoteListener* listener : listeners)
        listener->sustainChanged(down);
    if (down)
        return;
    for (size_t source = 0; source < kNoteSourceCount; ++source) {
        const std::bitset<kNoteCount> waiting = std::exchange(m_sustained[source], {});
        for (uint32_t note = 0; note < kNoteCount; ++note) {
            if (waiting.test(note))
                letGo(KPNoteSource(source), note, Sounded::Now);
        }
    }
}

void KPNotePerformer::releaseAll(KPNoteSource source)
{
    m_sustained[indexOf(source)].reset();
    for (auto event = m_pending.begin(); event != m_pending.end();) {
        if (event->source != source) {
            ++event;
            continue;
        }
        delete event->alarm;
        if (event->on)
            stopIfUnheldAt(event->note, event->at);
        const uint32_t note = event->note;
        event = m_pending.erase(event);
        publishHeld(note);
    }
    for (uint32_t note = 0; note < kNoteCount; ++note) {
        if (holds(source, note))
            letGo(source, note, Sounded::Now);
    }
}

void KPNotePerformer::pressed(KPNoteSource source, uint32_t note, uint8_t velocity)
{
    m_held[indexOf(source)].set(note);
    const std::vector<KPNoteListener*> listeners = m_listeners;
    for (KPNoteListener* listener : listeners)
        listener->notePressed(source, note, velocity);
}

// The strike was handed to the sound already and sounds at its time: judged then, a note no
// source holds is let go at once, on the strike's own frame.
void KPNotePerformer::stopIfUnheldAt(uint32_t note, KPClock::TimePoint at)
{
    KPClock::current().wakeAt(&m_alarms, at, KPClock::Precision::Exact, [this, note, at] {
        if (!isHeld(note))
            m_player.stop(note, at);
    });
}

void KPNotePerformer::publishHeld(uint32_t note)
{
    const bool pending = std::any_of(m_pending.begin(), m_pending.end(), [note](const Pending& e) {
        return e.on && e.note == note && e.source != KPNoteSource::Midi;
    });
    m_player.sampler().setHeldElsewhere(int(note),
                                        pending || heldByOthers(KPNoteSource::Midi, note));
}

void KPNotePerformer::released(KPNoteSource source, uint32_t note)
{
    m_held[indexOf(source)].reset(note);
    publishHeld(note);
    const bool stillHeld = isHeld(note);
    const std::vector<KPNoteListener*> listeners = m_listeners;
    for (KPNoteListener* listener : listeners)
        listener->noteReleased(source, note, stillHeld);
}
