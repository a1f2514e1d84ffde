#!/usr/bin/env bash
# Checks the built executables and stand-in libraries: the 32-bit program is a
# PE32 GUI executable, both import the vendor libraries by ordinal only (the
# exact ordinals) and delay-loaded, as SHELL32, so that the plain import
# table names only what a program calling FindWindowA loads anyway;
# its vendor calls keep their frame, the 32-bit stand-ins come in both
# conventions, and none needs a MinGW runtime DLL. The stripped 32-bit program
# stays within 128 KiB and free of MinGW's emulated thread-local storage and
# its static POSIX-threads copy.
set -euo pipefail
cd "$(dirname "$0")/.."
failures=0
fail() { echo "check-binaries: $*" >&2; failures=$((failures + 1)); }

# The delay-import entries of an executable, one "DLL ordinal" or "DLL
# by-name NAME" line each. GNU ld leaves the delay-import data directory
# empty (the entries work without it: each thunk hands its descriptor to the
# helper), so the descriptors are found by their symbols, which dlltool names
# __DELAY_IMPORT_DESCRIPTOR_<library>.
delay_imports_of() {
  local exe=$1 nm=$2
  $nm "$exe" | awk '$3 ~ /^__DELAY_IMPORT_DESCRIPTOR_/ { print $1 }' |
    python3 -c '
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections = struct.unpack_from("<H", data, pe + 6)[0]
optional = struct.unpack_from("<H", data, pe + 20)[0]
magic = struct.unpack_from("<H", data, pe + 24)[0]
wide = magic == 0x20B
base = struct.unpack_from("<Q" if wide else "<I", data, pe + 24 + (24 if wide else 28))[0]
table = pe + 24 + optional
spans = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]
def at(rva):
    for size, start, raw_size, raw in spans:
        if start <= rva < start + max(size, raw_size):
            return raw + rva - start
    raise SystemExit("check-binaries: RVA %#x outside every section" % rva)
def text(rva):
    offset = at(rva)
    return data[offset:data.index(b"\0", offset)].decode()
entry, flag = ("<Q", 1 << 63) if wide else ("<I", 1 << 31)
width = struct.calcsize(entry)
for line in sys.stdin:
    descriptor = at(int(line, 16) - base)
    attributes, name, _, _, names = struct.unpack_from("<5I", data, descriptor)
    rva = (lambda value: value) if attributes & 1 else (lambda value: value - base)
    cursor = rva(names)
    while True:
        value = struct.unpack_from(entry, data, at(cursor))[0]
        if value == 0:
            break
        if value & flag:
            print(text(rva(name)), value & 0xFFFF)
        else:
            print(text(rva(name)), "by-name", text(rva(value) + 2))
        cursor += width
' "$exe"
}

# One DLL's entries in delay_imports_of's listing, on one line.
delay_entries() {
  awk -v dll="$2" 'tolower($1) == tolower(dll) { $1 = ""; sub(/^ /, ""); print }' <<<"$1" |
    LC_ALL=C sort -n | tr '\n' ' '
}

check_program() {
  local arch=$1 objdump=$2 exe="dist/$1/Velmora.exe"
  [ -f "$exe" ] || { fail "$exe missing"; return; }
  local dump
  dump=$($objdump -p "$exe")
  if grep -qiE 'DLL Name: (libstdc\+\+|libgcc_s|libwinpthread)' <<<"$dump"; then
    fail "$exe imports a MinGW runtime DLL"
  fi
  # Loaded with the program: only what a bare program calling FindWindowA
  # loads as well (msvcrt is MinGW's C runtime, part of every such program;
  # USER32 loads GDI32 and ADVAPI32 at its own start, which the Settings
  # picture and the Run value use).
  local plain
  plain=$(awk '/DLL Name:/ { print toupper($3) }' <<<"$dump" | sort | tr '\n' ' ')
  [ "$plain" = "ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || fail "$exe loads with it: '$plain'"
  local delayed ultra pac shell
  delayed=$(delay_imports_of "$exe" "${objdump%objdump}nm")
  ultra=$(delay_entries "$delayed" UltraStik.dll)
  pac=$(delay_entries "$delayed" PacDrive.dll)
  shell=$(delay_entries "$delayed" SHELL32.dll)
  [ "$ultra" = "1 2 13 " ] || fail "$exe UltraStik.dll delay imports: '$ultra'"
  [ "$pac" = "2 3 20 29 30 " ] || fail "$exe PacDrive.dll delay imports: '$pac'"
  [ "$shell" = "by-name Shell_NotifyIconA " ] || fail "$exe SHELL32.dll delay imports: '$shell'"
  grep -q 'Subsystem.*(Windows GUI)' <<<"$dump" || fail "$exe is not a GUI program"
  check_standin_exports "dist/$arch" "$objdump"
}

check_standin_exports() {
  local folder=$1 objdump=$2
  for dll in UltraStik PacDrive; do
    [ -f "$folder/$dll.dll" ] || { fail "$folder/$dll.dll missing"; continue; }
    local exports
    exports=$($objdump -p "$folder/$dll.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -cE '^\s*\[ *[0-9]+\]' || true)
    [ "$exports" = 0 ] || fail "$folder/$dll.dll exports names"
  done
}

# The 32-bit stand-ins' two conventions, seen in UltraStik.dll ordinal 13:
# the stdcall pair pops its two arguments (ret $0x8), the cdecl pair
# (dist/win32/cdecl) leaves them to the caller (a plain ret).
check_convention() {
  local dll=$1 symbol=$2 expected=$3 returns
  returns=$(i686-w64-mingw32-objdump -d -C --no-show-raw-insn "$dll" |
    awk -v s="<$symbol>:" '$2 == s { inside = 1; next } /^$/ { inside = 0 }
      inside && $2 == "ret" { $1 = ""; sub(/^ +/, ""); print }' | sort -u | tr '\n' ';')
  [ "$returns" = "$expected;" ] || fail "$dll $symbol returns with '$returns', not '$expected'"
}

# The 32-bit program's vendor calls: each from a function of its own that
# keeps a frame pointer and, after the one call, only re-adjusts the stack
# pointer before leave and ret, so that a library popping its arguments
# (stdcall) or leaving them (cdecl) both leave the caller's stack right.
check_vendor_call_sites() {
  local exe=dist/win32/Velmora.exe listing
  listing=$(i686-w64-mingw32-objdump -d -C --no-show-raw-insn "$exe" |
    awk '/^[0-9a-f]+ <Call(U360|PacDrive|Servo)[A-Za-z0-9]*\(.*\)>:$/ { name = $2; next }
      /^$/ { name = "" }
      name != "" { $1 = ""; sub(/^ +/, ""); print name "|" $0 }')
  local sites
  sites=$(cut -d'|' -f1 <<<"$listing" | sort -u | wc -l)
  [ "$sites" = 8 ] || fail "$exe has $sites vendor call sites, not 8"
  awk -F'|' '
    $2 ~ /^nop/ { next }
    $1 != name { if (name != "" && state != "done") print name; name = $1; state = "push" }
    state == "push" { state = ($2 ~ /^push +%ebp$/) ? "frame" : "bad"; next }
    state == "frame" { state = ($2 ~ /^mov +%esp,%ebp$/) ? "body" : "bad"; next }
    state == "body" && $2 ~ /^call/ { state = "after"; next }
    state == "body" && ($2 ~ /%e(bx|si|di)/ || $2 ~ /,%ebp$/) { state = "bad"; next }
    state == "after" && $2 ~ /^(push +%e[acd]x|(add|sub) +\$0x[0-9a-f]+,%esp)$/ { next }
    state == "after" && $2 ~ /^leave/ { state = "leave"; next }
    state == "leave" { state = ($2 ~ /^ret/) ? "done" : "bad"; next }
    state != "body" && state != "done" { state = "bad" }
    END { if (name != "" && state != "done") print name }' <<<"$listing" |
    while read -r site; do
      echo "check-binaries: $exe $site does not keep its frame around the vendor call" >&2
      echo bad
    done | grep -q bad && fail "vendor call sites" || true
}

# The product's size and its threads: the stripped 32-bit program within
# 128 KiB, and none of what MinGW links for thread_local, std::thread or
# std::mutex: emulated thread-local storage, a static copy of its POSIX-threads
# runtime, and the TLS callback that runs at every thread's start and end.
# The C runtime's own two callbacks (___xl_c, ___xl_d) come with every
# MinGW program.
max_program_bytes=131072
check_size_and_thread_storage() {
  local exe=dist/win32/Velmora.exe stripped size extra
  stripped=$(mktemp)
  i686-w64-mingw32-strip -o "$stripped" "$exe"
  size=$(stat -c %s "$stripped")
  rm -f "$stripped"
  [ "$size" -le "$max_program_bytes" ] ||
    fail "$exe is $size bytes stripped, over $max_program_bytes (128 KiB)"
  extra=$(i686-w64-mingw32-nm "$exe" |
    awk '$3 ~ /emutls|pthread/ || ($3 ~ /^___xl_[a-z]$/ && $3 !~ /^___xl_[acdz]$/) { print $3 }' |
    sort -u | head -n 6 | tr '\n' ' ')
  [ -z "$extra" ] || fail "$exe links emulated TLS or POSIX threads: $extra"
}

check_program win32 i686-w64-mingw32-objdump
check_size_and_thread_storage
check_vendor_call_sites
check_standin_exports dist/win32/cdecl i686-w64-mingw32-objdump
check_convention dist/win32/UltraStik.dll 'UltraStikLoadMap@8' 'ret $0x8'
check_convention dist/win32/cdecl/UltraStik.dll UltraStikLoadMap 'ret'
check_program win64 x86_64-w64-mingw32-objdump
header=$(i686-w64-mingw32-objdump -p dist/win32/Velmora.exe)
grep -q 'Magic.*010b.*(PE32)' <<<"$header" || fail "dist/win32/Velmora.exe is not PE32"
kind=$(file dist/win32/Velmora.exe)
grep -q 'PE32 executable (GUI) Intel 80386' <<<"$kind" || fail "file(1) does not see a 32-bit GUI program"

if [ "$failures" -gt 0 ]; then
  echo "check-binaries: $failures failure(s)" >&2
  exit 1
fi
echo "check-binaries: 32-bit PE32 GUI program within 128 KiB, no emulated TLS or POSIX threads; both builds load only KERNEL32, USER32, GDI32, ADVAPI32 and msvcrt with them and delay-load SHELL32, UltraStik.dll and PacDrive.dll (by ordinal only); vendor calls keep their frame; stand-ins stdcall and cdecl; no MinGW runtime DLL"
