#!/usr/bin/env bash
# Runs a command (the Windows build's tests) with Wine made ready once for
# all the Windows programs it starts: a prefix of its own in the build
# directory (so ~/.wine is left alone and a first start's messages never
# reach a test), Wine's own messages off, and one wineserver kept for the
# whole run (-p), so each start of a program does not pay for a new one.
# Usage: with_wineserver.sh PREFIX_DIR COMMAND...
set -euo pipefail
prefix=$(realpath -m "$1")
shift

# Debian installs the 64-bit loader and server outside PATH.
export PATH="$PATH:/usr/lib/wine"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Gecko or Mono installer prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(command -v wineserver64 || command -v wineserver)

mkdir -p "$prefix"
"$wineserver" -p || true  # one may already run for this prefix
trap '"$wineserver" -k 2>/dev/null || true' EXIT INT TERM
# Makes the prefix if needed, and starts Wine's own background programs
# (services, device drivers) now, with no test's pipes open: started by a
# test's first program, they would inherit its output pipes and hold them
# open past its end.
wine64 wineboot >/dev/null 2>&1 || true
"$@"
