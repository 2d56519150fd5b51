#!/usr/bin/env bash
# By hand, not in the suite (it needs root, debootstrap, lintian, the network and several
# minutes): the two Debian packages pass lintian, and apt installs them into a fresh, minimal
# Debian 12 tree made by debootstrap, taking what they depend on from the archive (no
# recommends). There, as a plain user with no sound card, the program tells its version and
# options, lists the recordings, imports a MIDI file and renders it to WAV from the installed
# samples, and opens its window headless for a few seconds, logging only what such a machine
# makes it say; its desktop entry and metainfo validate.
# Usage: tests/install/fresh-debian.sh BUILD_DIR ROOT
#   BUILD_DIR holds the packages ("./run package"); ROOT is made here (it must not exist) and is
#   left behind, unmounted, for a look inside.
set -euo pipefail
build_dir=$1
root=$2
mirror=${MIRROR:-http://deb.debian.org/debian}
arch=$(dpkg --print-architecture)
program_deb=$(ls "$build_dir"/touchpiano_*_"$arch".deb)
data_deb=$(ls "$build_dir"/touchpiano-data_*_all.deb)
[ ! -e "$root" ] || { echo "$root exists: give a new folder for a fresh tree"; exit 1; }

echo "== lintian"
lintian -I --pedantic --fail-on error,warning,info "$program_deb" "$data_deb"

echo "== debootstrap bookworm into $root"
log=$(mktemp)
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$log" 2>&1 || { tail -20 "$log"; exit 1; }
mv "$log" "$root/tmp/debootstrap.log"
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES

# Nothing is left running in the tree, nor mounted on it.
finish() {
    if [ -n "${app:-}" ]; then kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; fi
    local point
    for point in "$root/dev" "$root/proc"; do
        if mountpoint -q "$point"; then umount "$point"; fi
    done
}
trap finish EXIT
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"

echo "== apt installs the two packages"
cp "$program_deb" "$data_deb" "$root/tmp/"
chroot "$root" apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -q --no-install-recommends \
    "/tmp/$(basename "$program_deb")" "/tmp/$(basename "$data_deb")" >"$root/tmp/apt.log" 2>&1 ||
    { tail -30 "$root/tmp/apt.log"; exit 1; }
grep -E '^[0-9]+ upgraded' "$root/tmp/apt.log"

# A user with a session's runtime folder, an environment of its own, and the maker's servers
# replaced by a closed local port.
chroot "$root" useradd --create-home player
uid=$(chroot "$root" id -u player)
install -d -m 700 -o "$uid" -g "$uid" "$root/run/user/$uid"
home=/home/player
# A command, not a function, so that a run in the background is the program itself.
as_player=(chroot --userspec="$uid:$uid" "$root" env -i HOME=$home PATH=/usr/bin:/bin
    LANG=C.UTF-8 XDG_RUNTIME_DIR="/run/user/$uid" TOUCHPIANO_APP_SERVER=http://127.0.0.1:9
    TOUCHPIANO_WEB_SERVER=http://127.0.0.1:9)

echo "== touchpiano --version"
"${as_player[@]}" touchpiano --version
echo "== touchpiano --help"
"${as_player[@]}" touchpiano --help
echo "== touchpiano --list (none yet)"
"${as_player[@]}" touchpiano --list

# C4, E4 and G4, a crotchet each (type 0, 480 ticks a crotchet).
printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\37' >"$root$home/three-notes.mid"
printf '\0\220\74\144\203\140\200\74\100\0\220\100\144\203\140\200\100\100' >>"$root$home/three-notes.mid"
printf '\0\220\103\144\203\140\200\103\100\0\377\57\0' >>"$root$home/three-notes.mid"
chown "$uid:$uid" "$root$home/three-notes.mid"
echo "== touchpiano --import three-notes.mid"
"${as_player[@]}" touchpiano --import $home/three-notes.mid
echo "== touchpiano --list"
"${as_player[@]}" touchpiano --list | tee "$root/tmp/list.txt"
grep -q three-notes "$root/tmp/list.txt" || { echo "the import is not listed"; exit 1; }
echo "== touchpiano --export 1 --to three-notes.wav"
"${as_player[@]}" touchpiano --export 1 --to $home/three-notes.wav
wav=$root$home/three-notes.wav
[ "$(head -c 4 "$wav")" = RIFF ] || { echo "the export is no WAV file"; exit 1; }
# Three crotchets at 120 beats a minute and their fade: well over a second of sound, and sound
# rather than silence (the samples came from the data package).
size=$(stat -c %s "$wav")
[ "$size" -gt 176400 ] || { echo "the export holds only $size bytes"; exit 1; }
sounding=$(tail -c +45 "$wav" | tr -d '\0' | wc -c)
[ "$sounding" -gt 44100 ] || { echo "the export is silent"; exit 1; }
echo "three-notes.wav: $size bytes, $sounding of them not zero"

echo "== the window, headless, for five seconds"
"${as_player[@]}" env QT_QPA_PLATFORM=offscreen touchpiano >"$root/tmp/window.log" 2>&1 &
app=$!
sleep 5
kill -0 "$app" 2>/dev/null || { cat "$root/tmp/window.log"; echo "the window closed by itself"; exit 1; }
kill -TERM "$app"
status=0
wait "$app" || status=$?
app=
cat "$root/tmp/window.log"
[ "$status" = 0 ] || { echo "the program ended with $status"; exit 1; }
# What a machine without a sound card, MIDI ports or the maker's servers makes it say, and
# nothing else: the sound library finds no card, and the program plays into a silent output.
expected='^(ALSA lib |AL lib: \(EE\) ALCplaybackAlsa_open: |KPMidiInput: |KPAppDelegate: Using fallback ids$'
expected+='|KPAudioDevice: No audio device could be opened, playing into a silent output$'
expected+='|KPHTTPRequest: Connection failed! Error - Connection refused http://127\.0\.0\.1:9/)'
if grep -Ev "$expected" "$root/tmp/window.log"; then
    echo "the window's start logged the lines just above"
    exit 1
fi
echo "window: ran five seconds, ended on TERM with 0, logged only the lines expected here"

echo "== desktop-file-validate and appstreamcli validate"
DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -q --no-install-recommends \
    desktop-file-utils appstream >/dev/null 2>&1
chroot "$root" desktop-file-validate /usr/share/applications/org.touchpiano.TouchPiano.desktop
chroot "$root" appstreamcli validate --no-net /usr/share/metainfo/org.touchpiano.TouchPiano.metainfo.xml
echo "fresh Debian 12: ok"
