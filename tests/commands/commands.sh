#!/usr/bin/env bash
# The recordings' commands as a user types them, without a display: a MIDI file imported, listed,
# exported again as MIDI (read by an independent parser) and as sound, and the wrong asks refused.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
fail() { echo "FAIL: $*"; exit 1; }

/usr/bin/python3 - "$work/tune.mid" <<'PY'
import mido, sys
song = mido.MidiFile(ticks_per_beat=480)
track = mido.MidiTrack()
song.tracks.append(track)
track.append(mido.Message('program_change', program=21, time=0))
for i, note in enumerate([60, 64, 67, 12]):
    track.append(mido.Message('note_on', note=note, velocity=100, time=0 if i == 0 else 240))
    track.append(mido.Message('note_off', note=note, velocity=0, time=240))
song.save(sys.argv[1])
PY

[ "$("$program" --list)" = "No recordings." ] || fail "a new user has recordings"
said=$("$program" --import "$work/tune.mid")
[ "$said" = 'Imported "tune": 6 key events on Accordion; left out 1 note outside C1 to B7' ] ||
    fail "import said: $said"
listed=$("$program" --list)
[[ "$listed" =~ ^1\ \ tune\ \ [0-9-]+\ [0-9:]+\ \ Accordion\ \ 0:02$ ]] || fail "listed: $listed"

"$program" --export 1 --to "$work/out.mid"
notes=$(/usr/bin/python3 -c "
import mido, sys
print(' '.join(f'{m.type}:{m.note}@{round(m.time*1000)}' for m in mido.MidiFile(sys.argv[1])
               if m.type in ('note_on', 'note_off')))" "$work/out.mid")
[ "$notes" = "note_on:60@0 note_off:60@250 note_on:64@250 note_off:64@250 note_on:67@250 note_off:67@250" ] ||
    fail "exported notes: $notes"

"$program" --export 1 --to "$work/out.flac" 2>/dev/null
[ "$(soxi -r "$work/out.flac")" = 44100 ] && [ "$(soxi -c "$work/out.flac")" = 2 ] ||
    fail "the sound file is not 44.1 kHz stereo"

status=0; "$program" --export 2 --to "$work/x.mid" 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "a missing recording exits $status"
status=0; "$program" --export 1 --to "$work/x.ogg" 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "an unknown format exits $status"
status=0; "$program" --import "$work/out.flac" 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "a sound file imported as MIDI exits $status"
[ "$("$program" --list | wc -l)" = 1 ] || fail "a failed import changed the list"
echo "commands: ok"
