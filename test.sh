#!/usr/bin/env bash
# Builds both presets and runs every test (the Windows ones under 64-bit Wine).
# Exit status 0 only when everything passes.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

tools/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2
tools/check-binaries.sh

source tools/wine-env.sh
trap wine_env_stop EXIT
wine_env_start "$root"
# One test program at a time: they share one Wine server, its registry and
# the program's named objects.
ctest --test-dir build/win64 --output-on-failure
