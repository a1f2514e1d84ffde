#!/usr/bin/env bash
# Measures Velmora against the launch floor (a program built the same way
# that only calls FindWindowA) under 64-bit Wine, in a Wine desktop on a
# private virtual display, in a prefix of its own (build/benchprefix), and
# the 32-bit build beside it where this machine's processor runs 32-bit
# code (never under CPU emulation, which says nothing of its speed):
#   ./bench.sh [rounds]     (default 30)
# Two methods that must agree: the wall time of `wine64 PROGRAM` seen from
# Linux, and LaunchTimer, which times CreateProcess to exit inside Wine. Runs
# alternate in pairs after warm-up runs; a run that ends with another exit
# code than expected is counted as a failure and not timed.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
rounds=${1:-30}

tools/install-deps.sh
cmake --preset win32 >/dev/null &&
  cmake --build --preset win32 -j2 --target Velmora UltraStik PacDrive LaunchFloor Wow64Probe >/dev/null
cmake --preset win64 >/dev/null &&
  cmake --build --preset win64 -j2 --target Velmora UltraStik PacDrive LaunchFloor LaunchTimer \
    LaunchFloorShell LaunchFloorVendors >/dev/null
source tools/wine-env.sh
trap wine_env_stop EXIT
unset DISPLAY # always a private display: nothing else on it
wine_env_start "$root" benchprefix
# One Wine desktop, as run.sh uses: on a bare X server without a window
# manager Wine's tray waits two seconds for each icon window it hides.
timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d bench /f >/dev/null 2>&1
timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v bench /d 1024x768 /f >/dev/null 2>&1

work=$root/build/bench/run
rm -rf "$work" && mkdir -p "$work"
cp dist/win64/Velmora.exe dist/win64/UltraStik.dll dist/win64/PacDrive.dll \
  build/win64/bench/LaunchFloor.exe build/win64/bench/LaunchTimer.exe \
  build/win64/bench/LaunchFloorShell.exe build/win64/bench/LaunchFloorVendors.exe "$work/"
printf '[UltraStik]\r\nCount=1\r\n[PacDrive]\r\nTypes=4\r\n' >"$work/DeviceSim.ini"
cd "$work"

now() { date +%s%N; }
# Wall time of one run in ms, or "fail" when its exit code is not the expected one.
timed() {
  local expected=$1 start end code=0
  shift
  start=$(now)
  timeout 60 "$WINE64" "$@" >/dev/null 2>&1 || code=$?
  end=$(now)
  [ "$code" = "$expected" ] && echo "scale=3; ($end - $start) / 1000000" | bc || echo fail
}
# "median|min|max|IQR|failures" of a list of times and "fail"s
stats() {
  local input failures
  input=$(cat)
  failures=$(grep -c '^fail$' <<<"$input" || true)
  { grep -v '^fail$' <<<"$input" | grep . || true; } | sort -n | awk -v f="$failures" '{v[++n] = $1} END {
    if (n == 0) { printf "-|-|-|-|%d", f; exit }
    m = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    printf "%.1f|%.1f|%.1f|%.1f|%d", m, v[1], v[n], v[int(n * 3 / 4) + 1] - v[int(n / 4) + 1], f }'
}
median() { echo "${1%%|*}"; }
ratio() { [ "$1" = - ] || [ "$2" = - ] && echo - || echo "scale=2; $1 / $2" | bc; }
difference() { [ "$1" = - ] || [ "$2" = - ] && echo - || echo "scale=1; ($1 - $2) / 1" | bc; }
pairs() { # rounds expectedA commandA... -- expectedB commandB...: alternated, A's then B's times
  local n=$1; shift
  local a=() b=() split
  for ((split = 1; split <= $#; split++)); do [ "${!split}" = -- ] && break; done
  a=("${@:1:split-1}") b=("${@:split+1}")
  A=() B=()
  for _ in $(seq "$n"); do A+=("$(timed "${a[@]}")"); B+=("$(timed "${b[@]}")"); done
}

# Warm-up: the desktop, the tray and the file cache.
for _ in 1 2 3; do timed 0 LaunchFloor.exe >/dev/null; timed 0 Velmora.exe -exit >/dev/null; done

# What the rest of Velmora's imports cost every start, forwarded or not: the
# floor that also binds SHELL32 and ADVAPI32, and the one that binds the two
# vendor libraries too, each alternated with the plain floor, by both methods.
pairs "$rounds" 0 LaunchFloorShell.exe -- 0 LaunchFloor.exe
floor_shell=$(printf '%s\n' "${A[@]}" | stats) floor_for_shell=$(printf '%s\n' "${B[@]}" | stats)
pairs "$rounds" 0 LaunchFloorVendors.exe -- 0 LaunchFloor.exe
floor_vendors=$(printf '%s\n' "${A[@]}" | stats) floor_for_vendors=$(printf '%s\n' "${B[@]}" | stats)
read -r -a inner_shell < <(timeout 600 "$WINE64" LaunchTimer.exe "$rounds" 0 LaunchFloorShell.exe \
  0 LaunchFloor.exe 2>/dev/null | tr -d '\r' | tr '\n' ' ') || true
read -r -a inner_vendors < <(timeout 600 "$WINE64" LaunchTimer.exe "$rounds" 0 LaunchFloorVendors.exe \
  0 LaunchFloor.exe 2>/dev/null | tr -d '\r' | tr '\n' ' ') || true

# The first start that applies a mode and ends, against the floor.
pairs 10 0 Velmora.exe -u360 joy2way -exit -- 0 LaunchFloor.exe
first=$(printf '%s\n' "${A[@]}" | stats) floor_first=$(printf '%s\n' "${B[@]}" | stats)

# A launcher's first call with nothing running: it starts the running
# instance, hands its line over and returns. Each is followed, untimed, by
# -exit until one ends as a first start (0): no instance is left for the next.
first_calls=() floor_calls=()
for _ in $(seq 10); do
  first_calls+=("$(timed 1 Velmora.exe -u360 joy4way)")
  for _ in $(seq 20); do timeout 30 "$WINE64" Velmora.exe -exit >/dev/null 2>&1 && break; done
  floor_calls+=("$(timed 0 LaunchFloor.exe)")
done
first_call=$(printf '%s\n' "${first_calls[@]}" | stats)
floor_call=$(printf '%s\n' "${floor_calls[@]}" | stats)

# From a first start until the icon is in the tray and a hand-over is taken,
# timed inside Wine, where the first-instance mutex can be seen.
read -r -a ready < <(timeout 300 "$WINE64" LaunchTimer.exe --ready 5 Velmora.exe Velmora.exe \
  "Velmora.exe -exit" 2>/dev/null | tr -d '\r') || true
ready_stats="${ready[0]:--}|${ready[1]:--}|${ready[2]:--}|-|${ready[3]:-5}"

# The running instance, reached by a hand-over within 30 s or not at all.
"$WINE64" Velmora.exe >/dev/null 2>&1 &
server=$!
for _ in $(seq 150); do [ "$(timed 1 Velmora.exe)" != fail ] && break; sleep 0.2; done
[ "$(timed 1 Velmora.exe)" != fail ] || { echo "bench: the instance never answered" >&2; exit 1; }

pairs "$rounds" 1 Velmora.exe -u360 joy4way -- 0 LaunchFloor.exe
forwarded=$(printf '%s\n' "${A[@]}" | stats) floor=$(printf '%s\n' "${B[@]}" | stats)
# An empty later start: only the hand-over's own cost, no device call.
pairs "$rounds" 1 Velmora.exe -- 0 LaunchFloor.exe
empty=$(printf '%s\n' "${A[@]}" | stats) floor_empty=$(printf '%s\n' "${B[@]}" | stats)
# The second method: CreateProcess to exit, inside Wine.
read -r -a inner < <(timeout 600 "$WINE64" LaunchTimer.exe "$rounds" 1 "Velmora.exe -u360 joy4way" \
  0 LaunchFloor.exe 2>/dev/null | tr -d '\r' | tr '\n' ' ') || true
inner_forwarded=${inner[0]:--} inner_floor=${inner[4]:--}
inner_failures=$(( ${inner[3]:-0} + ${inner[7]:-0} ))

start=$(now) ok=0
for _ in $(seq 200); do [ "$(timed 1 Velmora.exe -u360 joy4way)" != fail ] && ok=$((ok + 1)); done
per_second=$(echo "scale=2; $ok * 1000000000 / ($(now) - $start)" | bc)

# The idle instance over 20 quiet seconds, its hand-over window first shown by
# another program (which must cost nothing either): CPU (utime + stime
# ticks), the context switches of all its threads (a wake-up at rest shows
# as one), and resident memory.
shown=$(timeout 30 "$WINE64" LaunchTimer.exe --show Velmora_Server Velmora_InterComm >/dev/null 2>&1 &&
  echo "hand-over window shown first" || echo "hand-over window NOT shown")
ticks() { awk '{print $14 + $15}' "/proc/$server/stat"; }
switches() { cat /proc/"$server"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {n += $2} END {print n + 0}'; }
before=$(ticks) switched=$(switches); sleep 20; after=$(ticks)
idle_switches=$(( $(switches) - switched ))
idle_ms=$(( (after - before) * 1000 / $(getconf CLK_TCK) ))
rss_kib=$(awk '/^VmRSS/ {print $2}' "/proc/$server/status")
timeout 30 "$WINE64" Velmora.exe -exit >/dev/null 2>&1 || true
timeout 30 tail --pid="$server" -f /dev/null || true

cd "$root"

# The 32-bit build beside it, where this machine's processor runs 32-bit
# code (tools/wow64-probe.sh tries it): the same first start and forwarded
# switch against the 32-bit floor, under Wine's WoW64 mode in a prefix and
# Wine desktop of its own (build/bench32prefix). Never under the CPU emulator
# that the tests use elsewhere: an emulated processor's times say nothing of
# the program's speed.
wow64=$(tools/wow64-probe.sh --native-only)
native32=$([ "$(head -n1 build/wow64/native-probe.txt)" = can ] && echo yes || true)
first32="-|-|-|-|-" floor_first32="-|-|-|-|-" forwarded32="-|-|-|-|-" floor32="-|-|-|-|-"
if [ -n "$native32" ]; then
  xvfb=$WINE_ENV_XVFB_PID
  timeout 20 "$WINESERVER" -k 2>/dev/null || true # the 64-bit prefix is done
  export WINEDLLPATH=$root/build/wow64/dlls
  wine_env_start "$root" bench32prefix
  WINE_ENV_XVFB_PID=$xvfb
  timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d bench /f >/dev/null 2>&1
  timeout 30 "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v bench /d 1024x768 /f >/dev/null 2>&1
  work32=$root/build/bench/run32
  rm -rf "$work32" && mkdir -p "$work32"
  cp dist/win32/Velmora.exe dist/win32/UltraStik.dll dist/win32/PacDrive.dll \
    build/win32/bench/LaunchFloor.exe "$work32/"
  cp "$work/DeviceSim.ini" "$work32/"
  cd "$work32"
  for _ in 1 2 3; do timed 0 LaunchFloor.exe >/dev/null; timed 0 Velmora.exe -exit >/dev/null; done
  pairs 10 0 Velmora.exe -u360 joy2way -exit -- 0 LaunchFloor.exe
  first32=$(printf '%s\n' "${A[@]}" | stats) floor_first32=$(printf '%s\n' "${B[@]}" | stats)
  "$WINE64" Velmora.exe >/dev/null 2>&1 &
  server32=$!
  for _ in $(seq 150); do [ "$(timed 1 Velmora.exe)" != fail ] && break; sleep 0.2; done
  if [ "$(timed 1 Velmora.exe)" != fail ]; then
    pairs "$rounds" 1 Velmora.exe -u360 joy4way -- 0 LaunchFloor.exe
    forwarded32=$(printf '%s\n' "${A[@]}" | stats) floor32=$(printf '%s\n' "${B[@]}" | stats)
  else
    echo "bench: the 32-bit instance never answered" >&2
  fi
  timeout 30 "$WINE64" Velmora.exe -exit >/dev/null 2>&1 || true
  timeout 30 tail --pid="$server32" -f /dev/null || true
  cd "$root"
fi

sizes=""
for arch in win32 win64; do
  prefix=$([ $arch = win32 ] && echo i686 || echo x86_64)-w64-mingw32
  "$prefix-strip" -o "build/bench/Velmora-$arch-stripped.exe" "dist/$arch/Velmora.exe"
  sizes+="| stripped $arch Velmora.exe | $(stat -c %s "build/bench/Velmora-$arch-stripped.exe") bytes |"$'\n'
done
imports=$(i686-w64-mingw32-objdump -p dist/win32/Velmora.exe | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')

row() { IFS='|' read -r m lo hi iqr f <<<"$2"; printf '| %s | %s | %s | %s | %s | %s |\n' "$1" "$m" "$lo" "$hi" "$iqr" "$f"; }
echo
echo "Velmora benchmark, $(date -u +%Y-%m-%d), $("$WINE64" --version), $(nproc) cores, 64-bit build"
echo
echo "| wall time of wine64 PROGRAM, ms | median | min | max | spread (IQR) | failed |"
echo "|---|---|---|---|---|---|"
row "forwarded \`Velmora.exe -u360 joy4way\` ($rounds runs)" "$forwarded"
row "launch floor, alternated with it" "$floor"
row "empty later start \`Velmora.exe\` ($rounds runs)" "$empty"
row "launch floor, alternated with it" "$floor_empty"
row "first start \`-u360 joy2way -exit\` (10 runs)" "$first"
row "launch floor, alternated with it" "$floor_first"
row "first start until a hand-over is taken (5 runs)" "$ready_stats"
row "first call \`-u360 joy4way\`, nothing running (10 runs)" "$first_call"
row "launch floor, alternated with it" "$floor_call"
echo
echo "| figure | value |"
echo "|---|---|"
echo "| empty later start / floor, wall time (medians) | $(ratio "$(median "$empty")" "$(median "$floor_empty")") |"
echo "| forwarded switch / floor, wall time (medians) | $(ratio "$(median "$forwarded")" "$(median "$floor")") |"
echo "| forwarded switch / floor, inside Wine (medians $inner_forwarded / $inner_floor ms, $inner_failures failed) | $(ratio "$inner_forwarded" "$inner_floor") |"
echo "| first start with -exit / floor (medians) | $(ratio "$(median "$first")" "$(median "$floor_first")") |"
echo "| first start until a hand-over is taken / floor (medians) | $(ratio "$(median "$ready_stats")" "$(median "$floor_first")") |"
bound=$( [ "$(median "$first")" = - ] || [ "$(median "$floor_first")" = - ] && echo - ||
  echo "scale=1; $(median "$first") + $(median "$floor_first")" | bc)
echo "| first call / (first start with -exit + floor), the first call's bound (medians, ms) | $(ratio "$(median "$first_call")" "$bound") ($(median "$first_call") / $bound) |"
echo "| forwarded commands per second, 200 in a row ($ok exited 1) | $per_second |"
echo "| idle instance over 20 s ($shown): CPU time, context switches of all its threads, resident memory | $idle_ms ms, $idle_switches, $rss_kib KiB |"
printf '%s' "$sizes"
echo "| 32-bit imports | $imports|"
echo
echo "| what a start binds: wall time of wine64 PROGRAM, ms | median | min | max | spread (IQR) | failed |"
echo "|---|---|---|---|---|---|"
row "launch floor binding SHELL32 and ADVAPI32 ($rounds runs)" "$floor_shell"
row "launch floor, alternated with it" "$floor_for_shell"
row "launch floor binding SHELL32, ADVAPI32, UltraStik and PacDrive ($rounds runs)" "$floor_vendors"
row "launch floor, alternated with it" "$floor_for_vendors"
echo
echo "| what binding costs a start (difference of medians, ms) | wall time | inside Wine |"
echo "|---|---|---|"
echo "| SHELL32 and ADVAPI32 | $(difference "$(median "$floor_shell")" "$(median "$floor_for_shell")") | $(difference "${inner_shell[0]:--}" "${inner_shell[4]:--}") (medians ${inner_shell[0]:--} / ${inner_shell[4]:--}, $(( ${inner_shell[3]:-0} + ${inner_shell[7]:-0} )) failed) |"
echo "| SHELL32, ADVAPI32 and the two vendor libraries | $(difference "$(median "$floor_vendors")" "$(median "$floor_for_vendors")") | $(difference "${inner_vendors[0]:--}" "${inner_vendors[4]:--}") (medians ${inner_vendors[0]:--} / ${inner_vendors[4]:--}, $(( ${inner_vendors[3]:-0} + ${inner_vendors[7]:-0} )) failed) |"
echo
echo "$wow64"
if [ -n "$native32" ]; then
  echo
  echo "| 32-bit build under WoW64: wall time of wine64 PROGRAM, ms | median | min | max | spread (IQR) | failed |"
  echo "|---|---|---|---|---|---|"
  row "forwarded \`Velmora.exe -u360 joy4way\` ($rounds runs)" "$forwarded32"
  row "32-bit launch floor, alternated with it" "$floor32"
  row "first start \`-u360 joy2way -exit\` (10 runs)" "$first32"
  row "32-bit launch floor, alternated with it" "$floor_first32"
  echo
  echo "| 32-bit figure | value |"
  echo "|---|---|"
  echo "| forwarded switch / 32-bit floor, wall time (medians) | $(ratio "$(median "$forwarded32")" "$(median "$floor32")") |"
  echo "| first start with -exit / 32-bit floor (medians) | $(ratio "$(median "$first32")" "$(median "$floor_first32")") |"
else
  echo "(the 32-bit build was not timed: it does not run natively here, see the line above. Where the tests"
  echo "run it under CPU emulation, bench.sh never times it there: an emulated processor says nothing of its speed)"
fi
