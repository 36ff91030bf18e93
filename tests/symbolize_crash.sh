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
[ "$status" = 1 ] || { echo "the game exited with $status, not 1"; exit 1; }

line=$(grep -n '^ *\*g_badAddress = 1;' "$source/demo/demo_game.cpp" | cut -d: -f1)
"$source/tools/symbolize" "$work"/*_ErrorLog.txt "$bin" >"$work/symbolized.txt"
faulting=$(sed -n '/^Call Stack:$/{n;p;q}' "$work/symbolized.txt")
echo "faulting frame: $faulting"
case $faulting in
*" crashOnPurpose"*" at "*"/demo_game.cpp:$line"*) ;;
*) echo "expected crashOnPurpose at demo_game.cpp:$line" && exit 1 ;;
esac
grep ' Plat::App::PlatWinMain(.*) at .*/plat_win_main\.cpp:[0-9]' "$work/symbolized.txt"
