#!/usr/bin/env bash
# Measures Velmora against the launch floor under 64-bit Wine and prints a
# table: the forwarded switch vs a minimal program (alternating runs, median
# and spread), a first start with -exit, forwarded commands per second, the
# running instance's CPU time when idle, and the 32-bit program's size and
# imports. ./bench.sh [rounds] (default 30).
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
rounds=${1:-30}

tools/install-deps.sh
cmake --preset win32 >/dev/null && cmake --build --preset win32 -j2 >/dev/null
cmake --preset win64 >/dev/null && cmake --build --preset win64 -j2 --target Velmora UltraStik PacDrive LaunchFloor >/dev/null
source tools/wine-env.sh
trap wine_env_stop EXIT
wine_env_start "$root" benchprefix

work=$root/build/bench/run
rm -rf "$work" && mkdir -p "$work"
cp dist/win64/Velmora.exe dist/win64/UltraStik.dll dist/win64/PacDrive.dll build/win64/bench/LaunchFloor.exe "$work/"
printf '[UltraStik]\r\nCount=1\r\n[PacDrive]\r\nTypes=4\r\n' >"$work/DeviceSim.ini"
cd "$work"

now() { date +%s%N; }
# Wall time of one command in milliseconds (3 decimals).
timed() {
  local start end
  start=$(now)
  timeout 60 "$WINE64" "$@" >/dev/null 2>&1 || true
  end=$(now)
  echo "scale=3; ($end - $start) / 1000000" | bc
}
# median, min, max, and the middle half's spread of a list of numbers
stats() { sort -n | awk '{v[NR]=$1} END {m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2;
  printf "%.1f|%.1f|%.1f|%.1f", m, v[1], v[NR], v[int(NR*3/4)+1]-v[int(NR/4)+1]}'; }

# Warm Wine up, then the first start with a mode and -exit, alternated with the floor.
timed LaunchFloor.exe >/dev/null; timed Velmora.exe -exit >/dev/null
first=() floor_first=()
for _ in $(seq 10); do
  first+=("$(timed Velmora.exe -u360 joy2way -exit)")
  floor_first+=("$(timed LaunchFloor.exe)")
done

# The running instance.
"$WINE64" Velmora.exe >/dev/null 2>&1 &
server=$!
sleep 1
until [ "$(timeout 30 "$WINE64" Velmora.exe >/dev/null 2>&1; echo $?)" = 1 ]; do sleep 0.2; done

forwarded=() floor=()
for _ in $(seq "$rounds"); do
  forwarded+=("$(timed Velmora.exe -u360 joy4way)")
  floor+=("$(timed LaunchFloor.exe)")
done

start=$(now)
for _ in $(seq 200); do timeout 60 "$WINE64" Velmora.exe -u360 joy4way >/dev/null 2>&1 || true; done
end=$(now)
per_second=$(echo "scale=2; 200 * 1000000000 / ($end - $start)" | bc)

# CPU time of the idle instance over 10 seconds (clock ticks of utime + stime).
ticks() { awk '{print $14 + $15}' "/proc/$server/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks); sleep 10; after=$(ticks)
idle_ms=$(( (after - before) * 1000 / hz ))
timeout 30 "$WINE64" Velmora.exe -exit >/dev/null 2>&1 || true
wait "$server" 2>/dev/null || true

fw=$(printf '%s\n' "${forwarded[@]}" | stats)
fl=$(printf '%s\n' "${floor[@]}" | stats)
fs=$(printf '%s\n' "${first[@]}" | stats)
ff=$(printf '%s\n' "${floor_first[@]}" | stats)
ratio=$(echo "scale=2; ${fw%%|*} / ${fl%%|*}" | bc)
first_ratio=$(echo "scale=2; ${fs%%|*} / ${ff%%|*}" | bc)
cd "$root"
i686-w64-mingw32-strip -o build/bench/Velmora32-stripped.exe dist/win32/Velmora.exe
size=$(stat -c %s build/bench/Velmora32-stripped.exe)
imports=$(i686-w64-mingw32-objdump -p dist/win32/Velmora.exe | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')

row() { IFS='|' read -r m lo hi iqr <<<"$2"; printf '| %s | %s | %s | %s | %s |\n' "$1" "$m" "$lo" "$hi" "$iqr"; }
echo
echo "Velmora benchmark, $(date -u +%Y-%m-%d), Wine $("$WINE64" --version), $(nproc) cores"
echo
echo "| wall time, ms | median | min | max | spread (IQR) |"
echo "|---|---|---|---|---|"
row "forwarded \`Velmora.exe -u360 joy4way\` ($rounds runs)" "$fw"
row "launch floor, alternated with it ($rounds runs)" "$fl"
row "first start \`-u360 joy2way -exit\` (10 runs)" "$fs"
row "launch floor, alternated with it (10 runs)" "$ff"
echo
echo "| figure | value |"
echo "|---|---|"
echo "| forwarded switch / launch floor (medians) | $ratio |"
echo "| first start with -exit / launch floor (medians) | $first_ratio |"
echo "| forwarded commands per second, 200 in a row | $per_second |"
echo "| CPU time of the idle instance in 10 s | $idle_ms ms |"
echo "| stripped 32-bit Velmora.exe | $size bytes ($((size / 1024)) KiB) |"
echo "| its imports | $imports|"
