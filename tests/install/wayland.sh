#!/usr/bin/env bash
# By hand, not in the suite (it needs weston and qt6-wayland): the program starts under a
# headless Wayland compositor on Qt's Wayland plugin (no fallback to X11) and draws its window.
# Usage: tests/install/wayland.sh BUILD_DIR
set -euo pipefail
program=$1/src/app/touchpiano
work=$(mktemp -d)
trap 'kill "${app:-}" "${compositor:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
unset DISPLAY
weston --backend=headless-backend.so --use-pixman --socket=touchpiano-check --width=1366 --height=768 \
    --debug >"$work/weston.log" 2>&1 &
compositor=$!
for _ in $(seq 50); do [ -S "$work/touchpiano-check" ] && break; sleep 0.1; done
export WAYLAND_DISPLAY=touchpiano-check
QT_QPA_PLATFORM=wayland ALSOFT_DRIVERS=null "$program" >"$work/app.log" 2>&1 &
app=$!
sleep 4
kill -0 "$app" 2>/dev/null || { cat "$work/app.log"; echo "the program did not keep running"; exit 1; }
(cd "$work" && timeout 10 weston-screenshooter >/dev/null 2>&1) || true
shot=$(ls "$work"/wayland-screenshot*.png 2>/dev/null | head -1)
[ -n "$shot" ] || { echo "no screenshot from the compositor"; exit 1; }
colours=$(convert "$shot" -format '%k' info:)
[ "$colours" -gt 20 ] || { echo "the screen shows $colours colours: nothing drawn"; exit 1; }
cp "$shot" "${SHOT:-/dev/null}" 2>/dev/null || true
echo "wayland: starts and draws ($colours colours)"
