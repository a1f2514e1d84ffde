#!/usr/bin/env bash
# Makes the portable release and checks it as a user would unpack it: the
# program and its README, the program is the one just built, and the README
# has Windows line ends and names the version as the program's About box does.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset win32 >/dev/null
# The name CPack gives the ZIP, from the version in resources/Version.h.
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' build/win32/CPackConfig.cmake)
zip=dist/$name.zip
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
  "can write to" "VirtualStore" '"C:\Velmora\Velmora.exe" -u360' "start /wait" \
  "Are You Sure?" "Removing Velmora" "Which Windows"; do
  grep -qF -- "$topic" "$unpacked/README.txt" ||
    { echo "check-release: README.txt says nothing of $topic" >&2; exit 1; }
done
python3 - "$unpacked" <<'PY'
import sys
folder = sys.argv[1]
text = open(f"{folder}/README.txt", "rb").read()
# Notepad before Windows 10 version 1809 shows bare line feeds as one line.
bare = text.replace(b"\r\n", b"").count(b"\n") + text.replace(b"\r\n", b"").count(b"\r")
if bare or not text.endswith(b"\r\n"):
    sys.exit(f"check-release: README.txt has {bare} lines without a Windows line end"
             + ("" if text.endswith(b"\r\n") else ", and its last line has none"))
# The About box's text, as the dialog template in the program holds it.
program = open(f"{folder}/Velmora.exe", "rb").read()
start = program.find("Velmora Version ".encode("utf-16-le"))
if start < 0:
    sys.exit("check-release: the program's About box text was not found")
end = program.find(b"\0\0", start)
end += (end - start) % 2  # the terminator of a UTF-16 string starts on a character
shown = program[start:end].decode("utf-16-le").removeprefix("Velmora Version ")
title = text.split(b"\r\n", 1)[0].decode("ascii", "replace")
if title != f"Velmora {shown}":
    sys.exit(f"check-release: README.txt's title is {title!r}, the About box says version {shown!r}")
print(f"check-release: README.txt has Windows line ends and names version {shown}, as the About box does")
PY
echo "check-release: $zip holds README.txt and the built 32-bit Velmora.exe"
