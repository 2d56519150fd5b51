#!/usr/bin/env bash
# The installed tree stands on its own: installed into a fresh prefix, the program starts and
# plays from the resources installed beside it (a sample taken away from there makes it fail),
# and its desktop entry and metainfo validate. It is installed as its two packages hold it (the
# program, and the data for all architectures), and a plain install adds nothing to that.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
whole=$(mktemp -d)
# A home of its own: a piano the user has open (same archive) would take the launch over.
home=$(mktemp -d)
trap 'rm -rf "$prefix" "$whole" "$home"' EXIT
for component in program data; do
    cmake --install "$build_dir" --prefix "$prefix" --component "$component" >/dev/null
done
cmake --install "$build_dir" --prefix "$whole" >/dev/null
diff -r "$whole" "$prefix" || { echo "a plain install holds more than the two packages"; exit 1; }

desktop-file-validate "$prefix/share/applications/org.touchpiano.TouchPiano.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/org.touchpiano.TouchPiano.metainfo.xml" >/dev/null
test -f "$prefix/share/icons/hicolor/scalable/apps/org.touchpiano.TouchPiano.svg"

# Runs the installed program for three seconds; prints its exit status.
run_for_a_while() {
    env -u TOUCHPIANO_RESOURCES -u XDG_RUNTIME_DIR -u XDG_DATA_HOME -u XDG_CONFIG_HOME \
        HOME="$home" QT_QPA_PLATFORM=offscreen ALSOFT_DRIVERS=null \
        "$prefix/bin/touchpiano" --idiom phone >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 30); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -TERM "$pid" 2>/dev/null || true
    local status=0
    wait "$pid" || status=$?
    echo "$status"
}

status=$(run_for_a_while)
[ "$status" = 0 ] || { echo "installed program ended with $status"; exit 1; }

rm "$prefix/share/touchpiano/resources/sounds/Grand Piano/"*.wav
status=$(run_for_a_while)
[ "$status" = 1 ] || { echo "without its installed samples the program ended with $status, not 1"; exit 1; }
echo "installed tree: ok"
