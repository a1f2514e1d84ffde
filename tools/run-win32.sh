#!/usr/bin/env bash
# Runs one (64-bit) end-to-end test program for CTest against the 32-bit
# build: dist/win32/Velmora.exe with the stand-ins of STANDINS (a folder under
# the root, dist/win32 or dist/win32/cdecl), under Wine's WoW64 mode in the
# probe's prefix (build/wow64prefix). Where tools/wow64-probe.sh found that
# this machine cannot run 32-bit Windows code, prints why and exits 77, which
# CTest shows as skipped, never as passed.
# NOTE says which of the program's tests are left out here and why (printed
# as it is; empty when none are).
#   run-win32.sh STANDINS NOTE PROGRAM [ARGS...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
standins=$root/$1
note=$2
shift 2
answer=$root/build/wow64/probe.txt
skipped=77

# The probe's answer from this test run (test.sh probes first), or a new one.
if [ ! -f "$answer" ]; then
  bash "$root/tools/wow64-probe.sh" || exit
fi
if [ "$(head -n1 "$answer")" != can ]; then
  echo "skipped: this machine cannot run 32-bit Windows code: $(sed -n 2p "$answer")"
  echo "(tools/wow64-probe.sh found it; build/wow64/probe.txt)"
  exit "$skipped"
fi
for file in "$root/dist/win32/Velmora.exe" "$standins/UltraStik.dll" "$standins/PacDrive.dll"; do
  [ -f "$file" ] || { echo "run-win32: $file is not built (cmake --build --preset win32)"; exit 1; }
done

windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
source "$root/tools/wine-env.sh"
export WINEPREFIX=$root/build/wow64prefix WINEDLLPATH=$root/build/wow64/dlls
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export VELMORA_PROGRAM_DIR VELMORA_STANDIN_DIR
VELMORA_PROGRAM_DIR=$(windows_path "$root/dist/win32")
VELMORA_STANDIN_DIR=$(windows_path "$standins")
echo "against $VELMORA_PROGRAM_DIR\\Velmora.exe with the stand-ins of $VELMORA_STANDIN_DIR"
[ -z "$note" ] || echo "$note"
bash "$root/tools/gtest-skips.sh" "$WINE64" "$@"
status=$?
# This prefix's tray and desktop go with it, so that they never lie over the
# tray that the 64-bit programs' checks click in.
timeout 20 "$WINESERVER" -k 2>/dev/null
timeout 20 "$WINESERVER" -w 2>/dev/null
exit "$status"
