#!/usr/bin/env bash
# Runs one (64-bit) end-to-end test program for CTest against the 32-bit
# build: dist/win32/Velmora.exe with the stand-ins of STANDINS (a folder under
# the root, dist/win32 or dist/win32/cdecl), the way tools/wow64-probe.sh
# chose: natively under Wine's WoW64 mode (prefix build/wow64prefix), or under
# QEMU's user-mode emulator (prefix build/emu32prefix). Where the probe found
# neither way, prints why and exits 77, which CTest shows as skipped, never
# as passed.
# Each --leave-out names tests (a GoogleTest filter, A:B) that this run
# leaves out and why; --leave-out-native and --leave-out-emulated do so for
# one way only. What is left out is printed with the reason.
#   run-win32.sh STANDINS [--leave-out[-native|-emulated] TESTS WHY]... -- PROGRAM [ARGS...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
standins=$root/$1
label=$(tr / - <<<"${1#dist/}") # win32 or win32-cdecl
shift
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
way=$(sed -n 3p "$answer")
[ -n "$way" ] || way=native

left_out=() notes=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  case $1 in
    --leave-out) ;;
    --leave-out-native) [ "$way" = native ] || { shift 3; continue; } ;;
    --leave-out-emulated) [ "$way" = emulated ] || { shift 3; continue; } ;;
    *) echo "run-win32: unknown option $1" >&2; exit 2 ;;
  esac
  left_out+=("$2")
  notes+=("left out here: ${2//:/, } ($3)")
  shift 3
done
shift
filter=()
if [ ${#left_out[@]} -gt 0 ]; then
  filter=("--gtest_filter=-$(IFS=:; echo "${left_out[*]}")")
fi

for file in "$root/dist/win32/Velmora.exe" "$standins/UltraStik.dll" "$standins/PacDrive.dll"; do
  [ -f "$file" ] || { echo "run-win32: $file is not built (cmake --build --preset win32)"; exit 1; }
done

windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
source "$root/tools/wine-env.sh"
wine32_select "$root" "$way"
export WINEPREFIX=$root/build/$WINE32_PREFIX
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
# A crashing program ends at once instead of waiting in the debugger (which
# would hold the run until CTest's time-out); set once per prefix.
if [ ! -f "$WINEPREFIX/.no-debugger" ]; then
  timeout 120 "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d '' /f >/dev/null 2>&1 && touch "$WINEPREFIX/.no-debugger"
fi
export VELMORA_PROGRAM_DIR VELMORA_STANDIN_DIR
VELMORA_PROGRAM_DIR=$(windows_path "$root/dist/win32")
VELMORA_STANDIN_DIR=$(windows_path "$standins")
if [ "$way" = emulated ]; then
  echo "under QEMU's user-mode emulator (build/emu32): this machine's processor refuses 32-bit code"
  # Unlike in Wine 8.0's WoW64 mode, windows of 32-bit programs paint here.
  export VELMORA_WIN32_WINDOWS_PAINT=1
fi
echo "against $VELMORA_PROGRAM_DIR\\Velmora.exe with the stand-ins of $VELMORA_STANDIN_DIR"
[ ${#notes[@]} -eq 0 ] || printf '%s\n' "${notes[@]}"
# The pictures that the screen check saves keep the 64-bit build's name;
# this run's get one of their own beside them.
artifacts=$root/build/win64/artifacts
kept=$(mktemp -d)
for picture in tray-menu tray-no-menu; do
  [ -f "$artifacts/$picture.bmp" ] && mv "$artifacts/$picture.bmp" "$kept/"
done
bash "$root/tools/gtest-skips.sh" "$WINE64" "$@" "${filter[@]}"
status=$?
for picture in tray-menu tray-no-menu; do
  [ -f "$artifacts/$picture.bmp" ] && mv "$artifacts/$picture.bmp" "$artifacts/$picture-$label.bmp"
  [ -f "$kept/$picture.bmp" ] && mv "$kept/$picture.bmp" "$artifacts/"
done
rmdir "$kept"
# This prefix's tray and desktop go with it, so that they never lie over the
# tray that the 64-bit programs' checks click in.
timeout 20 "$WINESERVER" -k 2>/dev/null
timeout 20 "$WINESERVER" -w 2>/dev/null
exit "$status"
