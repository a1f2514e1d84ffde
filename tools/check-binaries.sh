#!/usr/bin/env bash
# Checks the built executables and stand-in libraries: the 32-bit program is a
# PE32 GUI executable, both import the vendor libraries by ordinal only (the
# exact ordinals), its vendor calls keep their frame, the 32-bit stand-ins
# come in both conventions, and none needs a MinGW runtime DLL.
set -euo pipefail
cd "$(dirname "$0")/.."
failures=0
fail() { echo "check-binaries: $*" >&2; failures=$((failures + 1)); }

# The import entries of one DLL in an objdump -p listing, one "ordinal name"
# line each. The entry's value has its top bit set for an import by ordinal,
# which is then its low 16 bits (objdump prints the ordinal in hex for x64).
imports_of() {
  awk -v dll="$2" '
    /DLL Name:/ { inside = (tolower($3) == tolower(dll)); next }
    inside && /^$/ { inside = 0 }
    inside && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print $1, $NF }' <<<"$1" |
  while read -r value name; do
    if [[ $value == 8* ]]; then
      echo "$((16#${value: -4})) $name"
    else
      echo "by-name $name"
    fi
  done
}

check_program() {
  local arch=$1 objdump=$2 exe="dist/$1/Velmora.exe"
  [ -f "$exe" ] || { fail "$exe missing"; return; }
  local dump
  dump=$($objdump -p "$exe")
  if grep -qiE 'DLL Name: (libstdc\+\+|libgcc_s|libwinpthread)' <<<"$dump"; then
    fail "$exe imports a MinGW runtime DLL"
  fi
  local ultra pac
  ultra=$(imports_of "$dump" UltraStik.dll | sort -n | tr '\n' ' ')
  pac=$(imports_of "$dump" PacDrive.dll | sort -n | tr '\n' ' ')
  [ "$ultra" = "1 <none> 2 <none> 13 <none> " ] || fail "$exe UltraStik.dll imports: '$ultra'"
  [ "$pac" = "2 <none> 3 <none> 20 <none> 29 <none> 30 <none> " ] || fail "$exe PacDrive.dll imports: '$pac'"
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

check_program win32 i686-w64-mingw32-objdump
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
echo "check-binaries: 32-bit PE32 GUI program; both builds import UltraStik.dll and PacDrive.dll by ordinal only; vendor calls keep their frame; stand-ins stdcall and cdecl; no MinGW runtime DLL"
