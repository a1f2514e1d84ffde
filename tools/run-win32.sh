#!/usr/bin/env bash
# Runs one (64-bit) end-to-end test program for CTest against the 32-bit
# build: dist/win32/Velmora.exe with the stand-ins of STANDINS (a folder under
# the root, dist/win32 or dist/win32/cdecl), the way tools/wow64-probe.sh
# chose: natively under Wine's WoW64 mode (a copy of build/wow64prefix), or
# under QEMU's user-mode emulator (a copy of build/emu32prefix), in a lane of
# its own (tools/wine-env.sh). Where the probe found
# neither way, prints why and exits 77, which CTest shows as skipped, never
# as passed.
# Each --leave-out names tests (a GoogleTest filter, A:B) that this run
# leaves out and why; --leave-out-native and --leave-out-emulated do so for
# one way only. What is left out is printed with the reason.
# A GoogleTest filter in GTEST_FILTER (./test.sh --only NAME FILTER) is kept,
# less what is left out.
#   run-win32.sh NAME STANDINS [--leave-out[-native|-emulated] TESTS WHY]... -- PROGRAM [ARGS...]
# NAME is the registration's, which names its lane (build/lanes/NAME).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=$1
standins=$root/$2
shift 2
answer=$root/build/wow64/probe.txt
skipped=77

# The probe's answer from this test run (test.sh probes first, and a probe
# holds its lock until it has answered), or a new one.
mkdir -p "$root/build/wow64"
flock "$root/build/wow64/probe.lock" true
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
  wanted=${GTEST_FILTER:-*}
  case $wanted in
    *-*) wanted+=: ;;
    *) wanted+=- ;;
  esac
  filter=("--gtest_filter=$wanted$(IFS=:; echo "${left_out[*]}")")
fi

for file in "$root/dist/win32/Velmora.exe" "$standins/UltraStik.dll" "$standins/PacDrive.dll"; do
  [ -f "$file" ] || { echo "run-win32: $file is not built (cmake --build --preset win32)"; exit 1; }
done

windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
source "$root/tools/wine-env.sh"
wine32_select "$root" "$way"
# A lane of its own (tools/wine-env.sh): a fresh copy of this way's prefix
# and a display of its own, so that it runs beside the other registrations.
trap wine_lane_stop EXIT
wine_lane_start "$root" "$name" "$WINE32_PREFIX" || exit 1
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
bash "$root/tools/gtest-skips.sh" "$WINE64" "$@" "${filter[@]}"
