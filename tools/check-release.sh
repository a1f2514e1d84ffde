#!/usr/bin/env bash
# Makes the portable release and checks it as a user would unpack it: the
# program and its README, and the program is the one just built.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=dist/Velmora-$version-win32.zip
rm -f "$zip"
cmake --build --preset win32 --target package >/dev/null
[ -f "$zip" ] || { echo "check-release: $zip was not made" >&2; exit 1; }
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
python3 - "$zip" "$unpacked" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    names = sorted(z.namelist())
    if names != ["README.txt", "Velmora.exe"]:
        sys.exit(f"check-release: the ZIP holds {names}, not README.txt and Velmora.exe")
    z.extractall(sys.argv[2])
PY
cmp -s "$unpacked/Velmora.exe" dist/win32/Velmora.exe ||
  { echo "check-release: the ZIP's Velmora.exe is not the built one" >&2; exit 1; }
file "$unpacked/Velmora.exe" | grep -q "PE32 executable (GUI) Intel 80386" ||
  { echo "check-release: the ZIP's program is not a 32-bit Windows GUI program" >&2; exit 1; }
for topic in "UltraStik.dll" "PacDrive.dll" "-u360" "-servo" "F4" "F8" "Exit codes" \
  "Velmora.ini" "LaunchOnStartup" "U360MapFile" "ServoMapFile" "Launch on Startup" \
  "can write to" "VirtualStore"; do
  grep -qF -- "$topic" "$unpacked/README.txt" ||
    { echo "check-release: README.txt says nothing of $topic" >&2; exit 1; }
done
echo "check-release: $zip holds README.txt and the built 32-bit Velmora.exe"
