#!/usr/bin/env bash
# Sets up, once, a 32-bit Wine that runs under QEMU's user-mode emulator, for
# machines whose processor (or the hypervisor beneath it) refuses 32-bit code:
# Debian's own i386 Wine of the installed Wine's version, unpacked into a
# sysroot in build/emu32, and a static qemu-i386 from the backports suite.
# Nothing outside build/ changes: no binfmt_misc entry, no foreign
# architecture in dpkg, no package installed.
#   tools/emulated-wine32.sh
# Prints what it set up (or that it was already there) and exits 0, or prints
# why it could not and exits 1. Afterwards build/emu32/sysroot/usr/lib/wine/wine64
# is the Wine to start programs with: a copy of the system's wine64 that
# finds the emulated 32-bit loader beside it.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
emu=$root/build/emu32
sysroot=$emu/sysroot
qemu=$emu/qemu-i386
ready=$emu/ready
loader_dir=$sysroot/usr/lib/wine
# The libraries that Wine's X11 driver opens with dlopen, which the packages
# only recommend.
x_libraries=(libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3)
# Debian 12's own QEMU (7.2) ignores MAP_FIXED_NOREPLACE, and Wine's
# address-space reservation then costs over a minute at every process start;
# the backports' 10.0 starts one in under a second.
qemu_major_wanted=10

fail() {
  echo "the emulated 32-bit Wine could not be set up: $1"
  exit 1
}

version=$(dpkg-query -W -f='${Version}' libwine:amd64 2>/dev/null) ||
  fail "libwine:amd64 is not installed"
[ -x /usr/lib/wine/wine64 ] || fail "/usr/lib/wine/wine64 is not installed"
if [ -f "$ready" ] && [ "$(head -n1 "$ready")" = "$version" ] &&
  [ -x "$loader_dir/wine64" ] && [ -x "$qemu" ]; then
  echo "the emulated 32-bit Wine $version is set up in build/emu32 ($(sed -n 2p "$ready"))"
  exit 0
fi

# A private apt: its own lists, cache and source list (the archives the system
# already uses, plus the backports suite of its release), i386 beside amd64.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || fail "/etc/os-release names no release"
rm -rf "$emu" && mkdir -p "$emu/lists/partial" "$emu/apt-cache/archives/partial" \
  "$emu/sources.d" "$emu/download" "$sysroot"
log=$emu/setup.log
started=$(date +%s)
targets=$(apt-get indextargets --no-release-info --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' |
  awk '$1 == "deb" {print $2, $3, $4}' | sort -u)
archive=$(awk -v r="$codename" '$2 == r {print $1; exit}' <<<"$targets")
[ -n "$archive" ] || fail "no archive of $codename is configured in apt"
{
  awk '{print "deb", $1, $2, $3}' <<<"$targets"
  echo "deb $archive $codename-backports main"
} >"$emu/sources.list"
apt=(-o APT::Architectures::=amd64 -o APT::Architectures::=i386
  -o "Dir::State::Lists=$emu/lists" -o "Dir::Cache=$emu/apt-cache"
  -o "Dir::Etc::SourceList=$emu/sources.list" -o "Dir::Etc::SourceParts=$emu/sources.d"
  -o Debug::NoLocking=1)
# An index that cannot be fetched stops nothing (tools/apt-fetch.sh): the
# plan and the fetch below find out whether a package needed was in it.
source tools/apt-fetch.sh
: >"$log"
apt_update "$log" "${apt[@]}"

# What installing wine32:i386 would add to this system: every i386 package
# it needs and any other that the system lacks. Upgrades of the system's own
# packages (which apt plans where an i386 twin must match their version) are
# not needed: the emulated processes see the system's files beneath the
# sysroot's.
wanted=("wine32:i386=$version" "libwine:i386=$version")
for library in "${x_libraries[@]}"; do wanted+=("$library:i386"); done
plan_errors=$(mktemp)
plan=$(apt-get "${apt[@]}" -s install --no-install-recommends "${wanted[@]}" 2>"$plan_errors") || {
  APT_LAST_ERROR=$(apt_first_error "$plan_errors")
  cat "$plan_errors" >>"$log"
  fail "wine32:i386 $version cannot be installed from the archives: $(apt_failure)"
}
cat "$plan_errors" >>"$log" && rm -f "$plan_errors"
# "Inst NAME (VERSION SUITES [ARCH])...", where an upgrade has "[OLD]" after NAME
mapfile -t packages < <(sed -n 's/^Inst \([^ []*\) (\([^ ]*\) [^)]*\[\([^]]*\)\]).*/\1 \2 \3/p' <<<"$plan" |
  awk '{sub(/:.*/, "", $1); print $1 ":" $3 "=" $2}')
[ ${#packages[@]} -gt 0 ] || fail "apt listed no package to fetch"
# The largest of them, libwine:i386, is fetched once: the native try of
# tools/wow64-probe.sh keeps it in build/wow64.
count=${#packages[@]} reused=0
kept=$(ls "$root"/build/wow64/libwine_*_i386.deb 2>/dev/null | head -n1)
if [ -n "$kept" ] && [ "$(dpkg-deb -f "$kept" Version 2>/dev/null)" = "$version" ]; then
  cp "$kept" "$emu/download/"
  reused=$(stat -c %s "$kept")
  mapfile -t packages < <(printf '%s\n' "${packages[@]}" | grep -vx "libwine:i386=$version")
fi
cd "$emu/download" || fail "no folder $emu/download"
apt_retry "$log" timeout 1200 apt-get "${apt[@]}" download "${packages[@]}" "qemu-user/$codename-backports" ||
  fail "the packages could not be fetched: $(apt_failure)"
cd "$root" || fail "no folder $root"
bytes=$(du -cb "$emu"/download/*.deb | tail -n1 | cut -f1)
bytes=$((bytes - reused))

for deb in "$emu"/download/*.deb; do
  case $(basename "$deb") in
    qemu-user_*) dpkg-deb -x "$deb" "$emu/qemu-user" ;;
    *) dpkg-deb -x "$deb" "$sysroot" ;;
  esac || fail "$(basename "$deb") could not be unpacked"
done
# Of its emulators (360 MB) one is used.
mv "$emu/qemu-user/usr/bin/qemu-i386" "$qemu" 2>/dev/null ||
  fail "the backports' qemu-user holds no usr/bin/qemu-i386"
rm -rf "$emu/qemu-user"
qemu_version=$("$qemu" --version | sed -n '1s/.*version \([0-9.]*\).*/\1/p')
[ "${qemu_version%%.*}" -ge "$qemu_major_wanted" ] 2>/dev/null ||
  fail "qemu-i386 $qemu_version is too old (Wine then needs over a minute to start each process)"
real_loader=$loader_dir/wine
[ -f "$real_loader" ] && [ -f "$sysroot/usr/lib/i386-linux-gnu/wine/i386-windows/ntdll.dll" ] ||
  fail "the unpacked wine32:i386 holds no loader or no ntdll.dll"

# What dpkg's maintainer scripts would have done. libwine's: MinGW's zlib1.dll
# marked as a Wine builtin (Wine refuses to load the plain one as such).
zlib=$sysroot/usr/i686-w64-mingw32/lib/zlib1.dll
[ -f "$zlib" ] || zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
if [ -f "$zlib" ]; then
  out=$sysroot/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
  rm -f "$out"
  { head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } >"$out"
fi
# libc's: the sysroot's own ld.so cache, else the loader mixes in the host's
# 32-bit libraries, where there are any, and Wine finds no FreeType.
mkdir -p "$sysroot/etc/ld.so.conf.d"
echo 'include /etc/ld.so.conf.d/*.conf' >"$sysroot/etc/ld.so.conf"
ldconfig -r "$sysroot" >>"$log" 2>&1 || fail "ldconfig -r could not build the sysroot's ld.so cache"

# Wine 8.0 looks for its other loader only beside its own binary, and the
# kernel here cannot exec the i386 one: beside a copy of wine64 a script named
# wine runs it through QEMU, with the script's path as its argv[0] so that it
# finds wine64 beside it in turn. The 64-bit half is the system's.
mv "$real_loader" "$loader_dir/wine-i386"
cp /usr/lib/wine/wine64 "$loader_dir/wine64"
cat >"$loader_dir/wine" <<'EOF'
#!/bin/sh
# Wine's i386 loader through QEMU's user-mode emulator (tools/emulated-wine32.sh).
here=$(dirname "$0")
sysroot=${here%/usr/lib/wine}
export WINELOADERNOEXEC=1
exec "$sysroot/../qemu-i386" -L "$sysroot" -0 "$0" "$here/wine-i386" "$@"
EOF
chmod +x "$loader_dir/wine"
rm -rf "$sysroot/usr/lib/x86_64-linux-gnu/wine"
mkdir -p "$sysroot/usr/lib/x86_64-linux-gnu"
ln -s /usr/lib/x86_64-linux-gnu/wine "$sysroot/usr/lib/x86_64-linux-gnu/wine"

rm -rf "$emu/download" "$emu/lists" "$emu/apt-cache"
took=$(($(date +%s) - started))
summary="$count packages and qemu-user $qemu_version, $((bytes / 1000000)) MB fetched"
[ "$reused" = 0 ] || summary+=" (and libwine:i386 as fetched for the native try, $((reused / 1000000)) MB)"
summary+=", $(du -sm "$emu" | cut -f1) MiB on disk, $took s"
printf '%s\n%s\n' "$version" "$summary" >"$ready"
echo "set up the emulated 32-bit Wine $version in build/emu32: $summary"
