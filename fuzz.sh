#!/usr/bin/env bash
# Builds the host-native fuzzers (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given seconds (default 60),
# keeping inputs that reach new coverage in fuzz/corpus/<target>.
#   ./fuzz.sh [seconds]      run both targets
#   ./fuzz.sh --replay       replay the kept corpus once (used by ./test.sh)
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
out=build/fuzz
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I. -Ifuzz)
common=(fuzz/FuzzSeam.cpp cmdline/ArgumentTokenizer.cpp)
clang++ "${flags[@]}" fuzz/TokenizerFuzz.cpp "${common[@]}" -o "$out/tokenizer"
clang++ "${flags[@]}" fuzz/DispatchFuzz.cpp "${common[@]}" cmdline/SwitchTable.cpp \
  cmdline/CommandDispatcher.cpp devices/U360ModeTable.cpp -o "$out/dispatch"

if [ "${1:-}" = "--replay" ]; then
  for target in tokenizer dispatch; do
    files=$(find "fuzz/corpus/$target" -type f | wc -l)
    "$out/$target" -runs=0 "fuzz/corpus/$target" >"$out/$target-replay.log" 2>&1 ||
      { tail -30 "$out/$target-replay.log"; exit 1; }
    echo "fuzz replay: $target: $files inputs, no finding"
  done
  exit 0
fi

seconds=${1:-60}
for target in tokenizer dispatch; do
  mkdir -p "fuzz/corpus/$target" "$out/$target-artifacts"
  "$out/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$out/$target-artifacts/" "fuzz/corpus/$target" 2>&1 | tee "$out/$target.log" | tail -12 &
done
wait
# Keep only the inputs that add coverage.
for target in tokenizer dispatch; do
  mkdir -p "$out/$target-min"
  rm -f "$out/$target-min"/*
  "$out/$target" -merge=1 "$out/$target-min" "fuzz/corpus/$target" >/dev/null 2>&1
  rm -f "fuzz/corpus/$target"/*
  cp "$out/$target-min"/* "fuzz/corpus/$target/"
  echo "$target: $(ls "fuzz/corpus/$target" | wc -l) corpus inputs"
done
