#!/bin/sh
# Crashes the sample game on purpose and checks that tools/symbolize completes its report's
# faulting frame with the crashing function and its source line, and a library frame with
# its own: symbolize_crash.sh BIN WORK EMULATOR... (BIN the build's bin folder, WORK a scratch
# folder where the game runs and leaves its report).
set -eu
bin=$1
work=$2
shift 2
source=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$work"
mkdir -p "$work"
for file in demo_game.exe sky_plugin.dll platform.dll diagnostics.dll memory.dll stringtable.dll; do
    cp "$bin/$file" "$work/"
done
status=0
"$@" "$work/demo_game.exe" -crash write >/dev/null 2>&1 || status=$?
# 77: the emulator cannot run this architecture on this machine.
[ "$status" = 77 ] && exit 77
[ "$status" = 1 ] || { echo "the game exited with $status, not 1"; exit 1; }
faulting=$("$source/tools/lib/check-symbolized" "$source/tools/symbolize" "$work"/*_ErrorLog.txt \
    "$source/demo/demo_game.cpp" crashOnPurpose "$bin") || { echo "$faulting"; exit 1; }
echo "faulting frame: $faulting"
