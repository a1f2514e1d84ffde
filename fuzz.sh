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
  cmdline/CommandDispatcher.cpp devices/U360ModeTable.cpp devices/ServoCommands.cpp -o "$out/dispatch"

if [ "${1:-}" = "--replay" ]; then
  for target in tokenizer dispatch; do
    files=$(find "fuzz/corpus/$target" -type f | wc -l)
    [ "$files" -gt 0 ] || { echo "fuzz replay: $target: the corpus is empty" >&2; exit 1; }
    "$out/$target" -runs=0 "fuzz/corpus/$target" >"$out/$target-replay.log" 2>&1 ||
      { tail -30 "$out/$target-replay.log"; exit 1; }
    echo "fuzz replay: $target: $files inputs, no finding"
  done
  exit 0
fi

seconds=${1:-60}
pids=()
for target in tokenizer dispatch; do
  mkdir -p "fuzz/corpus/$target" "$out/$target-artifacts" "$out/$target-new"
  rm -f "$out/$target-new"/*
  # New inputs go to a scratch folder first: the kept corpus changes only
  # after a run without findings.
  "$out/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$out/$target-artifacts/" "$out/$target-new" "fuzz/corpus/$target" \
    >"$out/$target.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in 0 1; do
  target=$([ "$i" = 0 ] && echo tokenizer || echo dispatch)
  if ! wait "${pids[$i]}"; then
    echo "$target: a finding, see $out/$target.log and $out/$target-artifacts/" >&2
    failed=1
  fi
  tail -12 "$out/$target.log"
done
[ "$failed" = 0 ] || exit 1
# Keep only the inputs that add coverage.
for target in tokenizer dispatch; do
  mkdir -p "$out/$target-min"
  rm -f "$out/$target-min"/*
  "$out/$target" -merge=1 "$out/$target-min" "fuzz/corpus/$target" "$out/$target-new" >/dev/null 2>&1
  rm -f "fuzz/corpus/$target"/*
  cp "$out/$target-min"/* "fuzz/corpus/$target/"
  echo "$target: $(ls "fuzz/corpus/$target" | wc -l) corpus inputs"
done
