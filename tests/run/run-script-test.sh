#!/usr/bin/env bash
# run.sh as a newcomer on a headless machine uses it: every switch, the
# pictures, a usage box that never makes it wait, and -exit whatever is open.
set -uo pipefail
cd "$(dirname "$0")/../.."
unset DISPLAY
passes=0 failures=0
check() { # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then
    echo "ok: $what"; passes=$((passes + 1))
  else
    echo "FAILED: $what"; failures=$((failures + 1))
  fi
}
has() { grep -qF -- "$2" <<<"$1"; }
png_of_desktop() { [ "$(identify -format '%m %wx%h' "$1" 2>/dev/null)" = "PNG 1024x768" ]; }
dist=dist/win64
trap './run.sh -exit >/dev/null 2>&1 || true' EXIT
./run.sh -exit >/dev/null 2>&1 || true
rm -f "$dist/Velmora.ini"

out=$(./run.sh --help)
check "--help documents the pictures" has "$out" "--menu [FILE]"
while read -r code words; do
  check "exit code $code is explained" has "$(./run.sh --explain "$code")" "$words"
done <<'CODES'
0 ended normally (a first start given -exit
1 handed to the running instance
2 nothing was done and nothing will be
3 took the line and did not finish it
124 no answer within
137 not an exit code of Velmora
CODES

out=$(timeout 120 ./run.sh -u360 joy4way)
check "the first call returns, acted on" has "$out" "exit code 1: handed to the running instance"
check "the first call started the running instance" has "$out" "started by that call"
check "the first call's switch reaches both sticks" has "$out" "UltraStik 13 1 joy4way"
check "the first call's choice is written at once" has "$out" "U360MapFile=joy4way"
out=$(timeout 120 ./run.sh -servo joy8way)
check "a later switch is handed over" has "$out" "exit code 1: handed to the running instance"
check "the ServoStik got 8-way" has "$out" "PacDrive 30"
out=$(./run.sh)
check "the status shows the map" has "$out" "UltraStik 360 map: joy4way"

start=$SECONDS
out=$(timeout 60 ./run.sh -help)
check "-help returns at once" [ $((SECONDS - start)) -lt 30 ]
check "-help says a window is open" has "$out" "shows a window (Help)"
check "-help saves its picture" png_of_desktop build/run/window.png

pictures=$(mktemp -d)
timeout 60 ./run.sh --menu "$pictures/menu.png" >/dev/null
check "--menu saves a picture" png_of_desktop "$pictures/menu.png"
timeout 60 ./run.sh --settings "$pictures/settings.png" >/dev/null
check "--settings saves a picture" png_of_desktop "$pictures/settings.png"
timeout 60 ./run.sh --screenshot "$pictures/desktop.png" >/dev/null
check "--screenshot saves a picture" png_of_desktop "$pictures/desktop.png"
mkdir -p build/win64/artifacts && cp "$pictures"/*.png build/win64/artifacts/ 2>/dev/null
rm -rf "$pictures"

start=$SECONDS
out=$(timeout 60 ./run.sh -exit)
check "-exit with the usage box open ends Velmora in seconds" [ $((SECONDS - start)) -lt 30 ]
check "-exit is handed over" has "$out" "exit code 1: handed to the running instance"
check "the settings were saved" grep -q "U360MapFile=joy4way" "$dist/Velmora.ini"
check "nothing is left running" has "$(./run.sh)" "Velmora is not running"

picture=$(mktemp --suffix=.png)
out=$(timeout 120 ./run.sh --dpi 144 --settings "$picture")
check "--dpi 144 starts Velmora at that scaling" has "$out" "display scaling 144 dpi"
check "--settings at 144 dpi saves a picture" png_of_desktop "$picture"
install -m 644 "$picture" build/win64/artifacts/settings-144.png 2>/dev/null
rm -f "$picture"
timeout 60 ./run.sh -exit >/dev/null

out=$(timeout 120 ./run.sh -u360 joy2way -exit)
check "a first start given -exit applies and ends" has "$out" "-> exit code 0: Velmora ended normally"
check "a first start given -exit saves its map" grep -q "U360MapFile=joy2way" "$dist/Velmora.ini"
check "a first start given -exit leaves nothing running" has "$(./run.sh)" "Velmora is not running"
timeout 60 ./run.sh -exit >/dev/null

echo "run.sh: $passes passed, $failures failed"
[ "$failures" = 0 ]
