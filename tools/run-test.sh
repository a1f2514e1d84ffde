#!/usr/bin/env bash
# Runs one 64-bit GoogleTest program for CTest in a lane of its own: a fresh
# copy of the 64-bit Wine prefix and a virtual display of its own
# (tools/wine-env.sh), so that it shares nothing with the registrations that
# run beside it. A program that skipped tests shows as skipped
# (tools/gtest-skips.sh).
#   run-test.sh NAME -- PROGRAM [ARGS...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=$1
shift 2
source "$root/tools/wine-env.sh"
trap wine_lane_stop EXIT
wine_lane_start "$root" "$name" || exit 1
bash "$root/tools/gtest-skips.sh" "$WINE64" "$@"
