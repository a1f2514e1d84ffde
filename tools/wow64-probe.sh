#!/usr/bin/env bash
# Finds out whether, and how, this machine runs 32-bit Windows code, by trying
# it with the 32-bit Wow64Probe.exe (cmake --build --preset win32):
# - natively, under Wine's WoW64 mode with Debian's 32-bit Wine libraries, in
#   a prefix of its own (build/wow64prefix). Whether the processor runs
#   32-bit code differs from machine to machine (a kernel or hypervisor may
#   refuse 32-bit code segments), so nothing is assumed either way;
# - where it does not, under CPU emulation: Debian's 32-bit Wine through
#   QEMU's user-mode emulator, set up once into build/emu32 by
#   tools/emulated-wine32.sh, in a prefix of its own (build/emu32prefix).
# Prints the answer with its reason and writes it to build/wow64/probe.txt:
# "can" or "cannot" on the first line, the reason on the second, the way
# ("native" or "emulated") on the third, which tools/run-win32.sh reads.
#   tools/wow64-probe.sh [--native-only]
# --native-only tries the native way alone, and writes its answer to
# build/wow64/native-probe.txt instead (bench.sh, which times nothing under
# emulation, asks so). Exit status 0 whatever the answer; 2 when the probe itself could not be
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
answer_file=$cache/probe.txt
native_only=
if [ "${1:-}" = --native-only ]; then
  native_only=1 answer_file=$cache/native-probe.txt
fi

answer() { # can|cannot REASON [native|emulated]
  mkdir -p "$cache"
  printf '%s\n%s\n%s\n' "$1" "$2" "${3:-}" >"$answer_file"
  if [ "$1" != can ] && [ -n "$native_only" ]; then
    echo "32-bit Windows code: does not run natively here ($2)"
  elif [ "$1" != can ]; then
    echo "32-bit Windows code: cannot run here ($2)"
  elif [ "$3" = native ]; then
    echo "32-bit Windows code: runs here natively, in Wine's WoW64 mode ($2)"
  else
    echo "32-bit Windows code: runs here under CPU emulation, 32-bit Wine through QEMU's user-mode emulator ($2)"
  fi
  exit 0
}

# One probe at a time; the 32-bit registrations wait on this lock for the
# answer of a probe that is running (tools/run-win32.sh). flock itself holds
# it: none of the probe's processes (a wineserver may outlive it) inherits it.
mkdir -p "$cache"
if [ -z "${VELMORA_PROBE_LOCKED:-}" ]; then
  VELMORA_PROBE_LOCKED=1 exec flock -o "$cache/probe.lock" bash "$root/tools/wow64-probe.sh" "$@"
fi

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
  : >"$log"
  # An index that cannot be fetched stops nothing (tools/apt-fetch.sh): only
  # the package itself missing does.
  apt_update "$log" "${apt[@]}"
  cd "$download" || return 1
  apt_retry "$log" timeout 600 apt-get "${apt[@]}" download "libwine:i386=$version" ||
    { echo "libwine:i386 $version could not be fetched: $(apt_failure)"; cd "$root"; return 1; }
  cd "$root" || return 1
  dpkg-deb -x "$download"/libwine_*_i386.deb "$download/unpacked" >>"$log" 2>&1 &&
    [ -f "$download/unpacked/usr/lib/i386-linux-gnu/wine/i386-windows/ntdll.dll" ] ||
    { echo "the libwine:i386 package could not be unpacked"; return 1; }
  rm -rf "$dlls" && mkdir -p "$dlls"
  mv "$download/unpacked/usr/lib/i386-linux-gnu/wine/i386-windows" "$dlls/i386-windows"
  ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$dlls/x86_64-unix"
  # Kept for the emulated Wine's setup, which needs the same package whole.
  rm -f "$cache"/libwine_*_i386.deb
  mv "$download"/libwine_*_i386.deb "$cache/"
  rm -rf "$download" "$lists" "$cache/apt-cache"
}
source tools/apt-fetch.sh
source tools/wine-env.sh
trap wine_env_stop EXIT
# Runs the probe the given way; sets "ran" to a reason why it did not run to
# its end, empty when it did.
try_probe() { # native|emulated
  local errors code=0 said xvfb=${WINE_ENV_XVFB_PID:-}
  wine32_select "$root" "$1"
  wine_env_start "$root" "$WINE32_PREFIX"
  # A second way runs on the display that the first started, which
  # wine_env_stop must still stop.
  [ -n "$WINE_ENV_XVFB_PID" ] || WINE_ENV_XVFB_PID=$xvfb
  errors=$(mktemp)
  timeout "$run_seconds" "$WINE64" "$probe" >"$errors" 2>&1 || code=$?
  said=$(tr -d '\r' <"$errors" | grep -v '^\s*$' | tail -n1)
  rm -f "$errors"
  timeout 20 "$WINESERVER" -k 2>/dev/null
  ran=
  [ "$code" = "$expected_code" ] && return 0
  if [ "$code" = 124 ]; then
    ran="the 32-bit Wow64Probe.exe did not end within $run_seconds s"
  else
    ran="the 32-bit Wow64Probe.exe ended with code $code, not $expected_code"
  fi
  [ -n "$said" ] && ran+="; Wine said: $said"
  return 1
}

native=
if [ ! -f "$dlls/i386-windows/ntdll.dll" ] || [ ! -d "$dlls/x86_64-unix" ]; then
  native=$(fetch_libraries) || native="not natively: $native"
fi
if [ -z "$native" ]; then
  try_probe native &&
    answer can "the 32-bit Wow64Probe.exe ran to its end under Wine's WoW64 mode" native
  native="not natively: under Wine's WoW64 mode $ran"
  # What the kernel says of 32-bit code, where it says anything; only a
  # hint: the answer is the run above.
  kernel=$(dmesg 2>/dev/null | grep -m1 -iE 'IA-32 emulation|ia32_emulation' | sed 's/^\[[^]]*\] *//')
  [ -n "$kernel" ] && native+="; kernel log: $kernel"
fi

[ -z "$native_only" ] || answer cannot "${native#not natively: }"
# Where the processor refuses 32-bit code, an emulated one runs it. What the
# one-time setup fetched, or that it was already there, goes to the log.
if ! setup=$(bash tools/emulated-wine32.sh); then
  answer cannot "$native; and $setup"
fi
echo "$setup" >&2
try_probe emulated &&
  answer can "$native; under emulation the 32-bit Wow64Probe.exe ran to its end" emulated
answer cannot "$native; and under QEMU's user-mode emulator (build/emu32) $ran"
