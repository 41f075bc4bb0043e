#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang, libFuzzer and the address and undefined-behaviour
# sanitizers in build-fuzz, then runs each: once over its committed seed corpus
# (tests/fuzz/corpus/TARGET, a regression run), then SECONDS of fresh fuzzing (default 60). New
# corpus entries and crashes stay outside the tree, in $MARLO_FUZZ_DIR (default
# ~/.cache/marlo-fuzz)/TARGET/corpus and .../crashes. Exits with 1 when any target failed.
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-60}
work=${MARLO_FUZZ_DIR:-$HOME/.cache/marlo-fuzz}

scripts/install-deps.sh clang-14 libclang-rt-14-dev
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMARLO_GUI=OFF -DMARLO_BENCH=OFF -DMARLO_SANITIZE=ON -DMARLO_FUZZ=ON -DMARLO_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target marlo_fuzz

if [ "$target" = all ]; then
  targets=()
  for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
elif [ -f "tests/fuzz/$target.cpp" ]; then
  targets=("$target")
else
  echo "fuzz.sh: no fuzz target '$target' (tests/fuzz/fuzz_*.cpp)" >&2
  exit 2
fi

failed=()
for t in "${targets[@]}"; do
  bin=build-fuzz/tests/fuzz/$t
  seeds=tests/fuzz/corpus/$t
  mkdir -p "$work/$t/corpus" "$work/$t/crashes"
  options=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/$t/crashes/")
  echo "== $t: seed corpus"
  if ! "$bin" "${options[@]}" -runs=0 "$seeds" 2>"$work/$t/regression.log"; then
    tail -n 30 "$work/$t/regression.log" >&2
    failed+=("$t")
    continue
  fi
  echo "== $t: ${seconds} s of fuzzing"
  if ! "$bin" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      "$work/$t/corpus" "$seeds" 2>"$work/$t/fuzz.log"; then
    tail -n 30 "$work/$t/fuzz.log" >&2
    if [ "${MARLO_FUZZ_FINDINGS_FAIL:-1}" = 1 ]; then
      failed+=("$t")
    else
      echo "fuzz.sh: $t found a new input that fails (kept in $work/$t/crashes); reported, not failing" >&2
    fi
    continue
  fi
  grep -E '^stat::number_of_executed_units' "$work/$t/fuzz.log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: failed: ${failed[*]} (inputs in $work/TARGET/crashes)" >&2
  exit 1
fi
