#!/usr/bin/env bash
# The checks the code runs on itself: clang-format over everything we write,
# and clang-tidy (.clang-tidy) over the product and the stand-ins, cross-
# targeting 32-bit Windows with the MinGW headers. Both must be clean; a
# deliberate exception carries a NOLINT with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t formatted < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v '^fuzz/corpus/')
clang-format --dry-run --Werror "${formatted[@]}"
gcc_version=$(ls /usr/lib/gcc/i686-w64-mingw32/ | grep -m1 posix)
cxx=/usr/lib/gcc/i686-w64-mingw32/$gcc_version/include/c++
flags=(--target=i686-w64-mingw32 -std=c++17 -I. -isystem /usr/share/mingw-w64/include
  -isystem "$cxx" -isystem "$cxx/i686-w64-mingw32"
  -D_WIN32_WINNT=0x0600 -DNTDDI_VERSION=0x06000000 -D_WIN32_IE=0x0600 -DNOMINMAX)
mapfile -t sources < <(git ls-files -co --exclude-standard -- 'app/*.cpp' 'channel/*.cpp' \
  'cmdline/*.cpp' 'devices/*.cpp' 'settings/*.cpp' 'tray/*.cpp' 'vendor-sim/*.cpp')
printf '%s\n' "${sources[@]}" |
  xargs -P2 -I{} clang-tidy --quiet {} -- "${flags[@]}" 2>/dev/null >build/clang-tidy.log || {
  grep -E 'warning:|error:' build/clang-tidy.log >&2 || cat build/clang-tidy.log >&2
  echo "check-code: clang-tidy found the above" >&2
  exit 1
}
echo "check-code: clang-format and clang-tidy clean over ${#formatted[@]} and ${#sources[@]} files"
