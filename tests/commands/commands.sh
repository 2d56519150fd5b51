#!/usr/bin/env bash
# The recordings' commands as a user types them, without a display: a MIDI file imported, listed,
# exported again as MIDI (read by an independent parser) and as sound, and the wrong asks refused.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR"
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
[[ "$listed" =~ ^1\ \ tune\ \ [0-9-]+\ [0-9:]+\ \ Accordion\ \ 0:02\ \ 3\ notes$ ]] || fail "listed: $listed"

said=$("$program" --export 1 --to "$work/out.mid")
[ "$said" = "Exported “tune” to $work/out.mid" ] || fail "the export said: $said"
# A file that is there is kept unless --force.
status=0; said=$("$program" --export 1 --to "$work/out.mid" 2>&1) || status=$?
[ "$status" = 1 ] && [[ "$said" == *"--force"* ]] || fail "an existing file: $status $said"
"$program" --export 1 --to "$work/out.mid" --force >/dev/null || fail "--force did not replace"
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
[ "$status" = 2 ] || fail "a missing recording exits $status"
status=0; "$program" --export 1 --to "$work/x.ogg" 2>/dev/null || status=$?
[ "$status" = 2 ] || fail "an unknown format exits $status"
status=0; "$program" --import "$work/out.flac" 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "a sound file imported as MIDI exits $status"
[ "$("$program" --list | wc -l)" = 1 ] || fail "a failed import changed the list"

# Slips on the command line: each is told, with the status of a wrong command line.
for wrong in "--bogus" "--export 1 --to $work/a.mid --to $work/b.mid" "--to $work/a.mid" "--list stray" \
    "--list --list" "--idiom phone --idiom tablet --list" "--force"; do
    status=0; "$program" $wrong 2>/dev/null || status=$?
    [ "$status" = 2 ] || fail "\"$wrong\" exits $status"
done
said=$("$program" --export 1 --to "$work/missing/x.wav" 2>&1 >/dev/null || true)
[ "$(grep -o "missing/x.wav" <<<"$said" | wc -l)" = 1 ] || fail "the path is told more than once: $said"
[[ "$said" == *"the folder $work/missing does not exist" ]] || fail "a missing folder: $said"
said=$(LANGUAGE=de LANG=de_DE.UTF-8 "$program" --list --list 2>&1 || true)
[[ "$said" == *"ist mehr als einmal angegeben"* ]] || fail "not told in German: $said"

# Files that are no MIDI file to read whole: refused at once, the list untouched.
mkfifo "$work/fifo.mid"
truncate -s 17M "$work/big.mid"
for input in /dev/zero "$work/fifo.mid" "$work/big.mid" "$work"; do
    status=0; said=$(timeout 10 "$program" --import "$input" 2>&1) || status=$?
    [ "$status" = 1 ] || fail "importing $input exits $status: $said"
    [[ "$said" =~ "not a regular file"|"larger than 16 MiB"|"is a folder" ]] || fail "$input: $said"
done
[ "$("$program" --list | wc -l)" = 1 ] || fail "a refused import changed the list"

# Several files at once, however they are named; without a display, a bare file is imported too.
cp "$work/tune.mid" "$work/second.mid"
"$program" --import "$work/tune.mid" "$work/second.mid" >/dev/null
"$program" --import "$work/tune.mid" --import "$work/second.mid" >/dev/null
"$program" "$work/second.mid" >/dev/null || fail "a file named without a display was not imported"
[ "$("$program" --list | wc -l)" = 6 ] || fail "not every file was imported"
[ "$(stat -c %a "$XDG_DATA_HOME/touchpiano/recordings")" = 600 ] || fail "the archive is readable by others"

# A note 16 days after the first: cut at 24 hours, and its length told as it is.
/usr/bin/python3 - "$work/late.mid" <<'PY'
import mido, sys
song = mido.MidiFile(ticks_per_beat=96)
track = mido.MidiTrack()
song.tracks.append(track)
track.append(mido.Message('note_on', note=60, velocity=90, time=0))
track.append(mido.Message('note_off', note=60, velocity=0, time=96))
track.append(mido.Message('note_on', note=62, velocity=90, time=0x0FFFFFFF))
song.save(sys.argv[1])
PY
said=$("$program" --import "$work/late.mid")
[[ "$said" == *"left out everything after 24 hours" ]] || fail "the late note: $said"
[[ "$("$program" --list | head -1)" == *"  0:01  "*" 1 note" ]] || fail "the late file's length: $("$program" --list | head -1)"

# Stopped while rendering, an export leaves no half-written file.
/usr/bin/python3 - "$work/long.mid" <<'PY'
import mido, sys
song = mido.MidiFile(ticks_per_beat=480)
track = mido.MidiTrack()
song.tracks.append(track)
track.append(mido.Message('note_on', note=60, velocity=90, time=0))
track.append(mido.Message('note_off', note=60, velocity=0, time=480 * 2 * 3600))
song.save(sys.argv[1])
PY
"$program" --import "$work/long.mid" >/dev/null
"$program" --export 1 --to "$work/long.wav" 2>/dev/null &
render=$!
for _ in $(seq 100); do [ -s "$work/long.wav" ] && break; sleep 0.1; done
kill -TERM "$render"; wait "$render" || true
[ ! -e "$work/long.wav" ] || fail "a stopped export left its file"

# Twenty imports at once: none lost, none twice.
count() { "$program" --list | wc -l; }
before=$(count)
for i in $(seq 20); do "$program" --import "$work/tune.mid" >/dev/null & done
wait
[ "$(count)" = $((before + 20)) ] || fail "20 imports at once gave $(($(count) - before)) recordings"

# The same with the window open: they go through it, and killing it at once loses none.
QT_QPA_PLATFORM=offscreen "$program" 2>"$work/window.log" &
window=$!
for _ in $(seq 300); do
    ls "$XDG_RUNTIME_DIR" | grep -qE '^touchpiano-[0-9a-f]{16}$' && break
    sleep 0.1
done
before=$(count)
for i in $(seq 20); do "$program" --import "$work/tune.mid" >/dev/null & done
wait $(jobs -p | grep -v "^$window$")
kill -KILL "$window"; wait "$window" 2>/dev/null || true
[ "$(count)" = $((before + 20)) ] ||
    fail "20 imports into a window gave $(($(count) - before)) recordings: $(cat "$work/window.log")"

# An archive that is a FIFO or far too large is never waited on: --list leaves it where it is,
# and the next writer sets it aside and keeps it.
archive=$XDG_DATA_HOME/touchpiano/recordings
mv "$archive" "$work/kept"
mkfifo "$archive"
[ "$(timeout 10 "$program" --list 2>/dev/null)" = "No recordings." ] || fail "a FIFO archive was listed"
[ -p "$archive" ] || fail "--list moved the FIFO archive"
rm "$archive"
truncate -s 1100M "$archive"
[ "$(timeout 10 "$program" --list 2>/dev/null)" = "No recordings." ] || fail "a huge archive was listed"
[ "$(ls "$archive".unreadable-* 2>/dev/null | wc -l)" = 0 ] || fail "--list set an archive aside"
timeout 10 "$program" --import "$work/tune.mid" >/dev/null 2>&1 || fail "no import beside a huge archive"
[ "$(ls "$archive".unreadable-* | wc -l)" = 1 ] || fail "an unreadable archive was not kept"
rm "$archive" "$archive".unreadable-*
mv "$work/kept" "$archive"

# A full disk: the import is told failed with the system's reason, and the list stays whole.
if unshare -rm true 2>/dev/null; then
    cp "$archive" "$work/archive-copy"
    said=$(unshare -rm bash -c '
        mount -t tmpfs -o size=256k tmpfs "$XDG_DATA_HOME/touchpiano" || exit 99
        cp "$0" "$XDG_DATA_HOME/touchpiano/recordings"
        dd if=/dev/zero of="$XDG_DATA_HOME/touchpiano/filler" bs=4k 2>/dev/null
        "$1" --import "$2"; echo "status $?"
        "$1" --list | wc -l' "$work/archive-copy" "$program" "$work/tune.mid" 2>&1)
    [[ "$said" == *"No space left on device"*"status 1"* ]] || fail "on a full disk: $said"
    [ "$(tail -1 <<<"$said")" = "$(count)" ] || fail "a full disk changed the list: $said"
else
    echo "commands: no user namespace for a small file system; the full disk is not tried"
fi
echo "commands: ok"
