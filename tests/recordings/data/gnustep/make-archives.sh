#!/usr/bin/env bash
# Rebuilds the archives in this folder with GNUstep Base's keyed archiver
# (apt-get install --no-install-recommends gobjc libgnustep-base-dev gnustep-make).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -std=gnu11 -o "$work/archive-recordings" "$here/archive-recordings.m" $(gnustep-config --objc-flags) \
    -fobjc-exceptions $(gnustep-config --base-libs)
"$work/archive-recordings" "$here"
