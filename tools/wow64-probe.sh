#!/usr/bin/env bash
# Finds out whether this machine runs 32-bit Windows code, by trying it: the
# 32-bit Wow64Probe.exe (cmake --build --preset win32) under Wine's WoW64
# mode, with Debian's 32-bit Wine libraries, in a prefix of its own
# (build/wow64prefix). Whether it can differs from machine to machine (a
# kernel or hypervisor may refuse 32-bit code segments), so nothing is
# assumed either way. Prints the answer with its reason and writes it to
# build/wow64/probe.txt ("can" or "cannot" on the first line, the reason on
# the second), which tools/run-win32.sh reads.
#   tools/wow64-probe.sh
# Exit status 0 whatever the answer; 2 when the probe itself could not be
# made (the 32-bit program not built), which is no answer about the machine.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
cache=$root/build/wow64
dlls=$cache/dlls
probe=$root/build/win32/wow64/Wow64Probe.exe
# Only a 32-bit program that ran to its end exits with its pointer width.
expected_code=32
run_seconds=60

answer() { # can|cannot REASON
  mkdir -p "$cache"
  printf '%s\n%s\n' "$1" "$2" >"$cache/probe.txt"
  if [ "$1" = can ]; then
    echo "32-bit Windows code: runs here ($2)"
  else
    echo "32-bit Windows code: cannot run here ($2)"
  fi
  exit 0
}

[ -f "$probe" ] || {
  echo "wow64-probe: $probe is not built (cmake --build --preset win32)" >&2
  exit 2
}

# Debian's 32-bit Wine libraries, of the installed Wine's version, fetched
# once into build/wow64 with a package list of their own: WINEDLLPATH names a
# folder with their i386-windows and the system's x86_64-unix.
fetch_libraries() {
  local version lists=$cache/lists download=$cache/download log=$cache/fetch.log
  local apt=(-o APT::Architectures::=amd64 -o APT::Architectures::=i386
    -o "Dir::State::Lists=$lists" -o "Dir::Cache=$cache/apt-cache")
  version=$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null) ||
    { echo "libwine:amd64 is not installed"; return 1; }
  rm -rf "$download" && mkdir -p "$lists/partial" "$cache/apt-cache/archives/partial" "$download"
  timeout 300 apt-get "${apt[@]}" update >"$log" 2>&1 &&
    (cd "$download" && timeout 600 apt-get "${apt[@]}" download "libwine:i386=$version") >>"$log" 2>&1 ||
    { echo "libwine:i386 $version could not be fetched: $(grep -E '^E:' "$log" | tail -n1)"; return 1; }
  dpkg-deb -x "$download"/libwine_*_i386.deb "$download/unpacked" >>"$log" 2>&1 &&
    [ -f "$download/unpacked/usr/lib/i386-linux-gnu/wine/i386-windows/ntdll.dll" ] ||
    { echo "the libwine:i386 package could not be unpacked"; return 1; }
  rm -rf "$dlls" && mkdir -p "$dlls"
  mv "$download/unpacked/usr/lib/i386-linux-gnu/wine/i386-windows" "$dlls/i386-windows"
  ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$dlls/x86_64-unix"
  rm -rf "$download" "$lists" "$cache/apt-cache"
}
if [ ! -f "$dlls/i386-windows/ntdll.dll" ] || [ ! -d "$dlls/x86_64-unix" ]; then
  if ! reason=$(fetch_libraries); then
    answer cannot "$reason"
  fi
fi

source tools/wine-env.sh
export WINEDLLPATH=$dlls
trap wine_env_stop EXIT
wine_env_start "$root" wow64prefix
errors=$(mktemp)
code=0
timeout "$run_seconds" "$WINE64" "$probe" >"$errors" 2>&1 || code=$?
said=$(grep -v '^\s*$' "$errors" | tail -n1)
rm -f "$errors"
if [ "$code" = "$expected_code" ]; then
  answer can "the 32-bit Wow64Probe.exe ran to its end under Wine's WoW64 mode"
fi
if [ "$code" = 124 ]; then
  why="the 32-bit Wow64Probe.exe did not end within $run_seconds s under Wine's WoW64 mode"
else
  why="the 32-bit Wow64Probe.exe under Wine's WoW64 mode ended with code $code, not $expected_code"
fi
[ -n "$said" ] && why+="; Wine said: $said"
# What the kernel says of 32-bit code, where it says anything; only a hint:
# the answer is the run above.
kernel=$(dmesg 2>/dev/null | grep -m1 -iE 'IA-32 emulation|ia32_emulation' | sed 's/^\[[^]]*\] *//')
[ -n "$kernel" ] && why+="; kernel log: $kernel"
answer cannot "$why"
