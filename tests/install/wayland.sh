#!/usr/bin/env bash
# By hand, not in the suite (it needs weston, qt6-wayland, jackd and sox): the program starts
# under a headless Wayland compositor on Qt's Wayland plugin (no fallback to X11), draws its
# window, and plays: a JACK dummy server of the check's own carries a note sequence to the piano's
# MIDI input and records what the piano sends to its outputs. (A headless compositor takes no
# input from outside, so the notes come in by MIDI.)
# Usage: tests/install/wayland.sh BUILD_DIR
set -euo pipefail
program=$1/src/app/touchpiano
work=$(mktemp -d)
trap 'kill "${app:-}" "${compositor:-}" "${sequence:-}" "${server:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
unset DISPLAY
weston --backend=headless-backend.so --use-pixman --socket=touchpiano-check --width=1366 --height=768 \
    --debug >"$work/weston.log" 2>&1 &
compositor=$!
for _ in $(seq 50); do [ -S "$work/touchpiano-check" ] && break; sleep 0.1; done
export WAYLAND_DISPLAY=touchpiano-check
export JACK_DEFAULT_SERVER=touchpiano-check JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -n touchpiano-check -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
server=$!
jack_wait -w -t 10 >/dev/null 2>&1
QT_QPA_PLATFORM=wayland "$program" >"$work/app.log" 2>&1 &
app=$!
sleep 4
kill -0 "$app" 2>/dev/null || { cat "$work/app.log"; echo "the program did not keep running"; exit 1; }
(cd "$work" && timeout 10 weston-screenshooter >/dev/null 2>&1) || true
shot=$(ls "$work"/wayland-screenshot*.png 2>/dev/null | head -1)
[ -n "$shot" ] || { echo "no screenshot from the compositor"; exit 1; }
colours=$(convert "$shot" -format '%k' info:)
[ "$colours" -gt 20 ] || { echo "the screen shows $colours colours: nothing drawn"; exit 1; }
cp "$shot" "${SHOT:-/dev/null}" 2>/dev/null || true
# Middle C for half a second in every second, for three seconds.
jack_midiseq check-sequence 48000 0 60 24000 >/dev/null 2>&1 &
sequence=$!
sleep 1
jack_connect check-sequence:out "Touch Piano output:Touch Piano"
jack_rec -f "$work/heard.wav" -d 3 "Touch Piano output:out_1" "Touch Piano output:out_2" \
    >/dev/null 2>&1
levels=$(sox "$work/heard.wav" -n stats 2>&1 | awk '/RMS lev dB/ {print $4, $5}')
read -r left right <<<"$levels"
for level in "$left" "$right"; do
    awk -v l="$level" 'BEGIN { exit !(l != "-inf" && l > -60) }' ||
        { echo "the piano was not heard: RMS $left / $right dB"; exit 1; }
done
echo "wayland: starts, draws ($colours colours) and plays (RMS $left / $right dB, left / right)"
