#!/usr/bin/env bash
# Builds the platform-neutral code natively with AddressSanitizer and
# UndefinedBehaviorSanitizer (native/CMakeLists.txt) and runs its unit tests.
#
#   scripts/native-tests.sh                   build and run the native tests
#   scripts/native-tests.sh --fuzz N          then run each fuzzer for N seconds
#   scripts/native-tests.sh --fuzz-budget N   then run every fuzzer, N seconds in all
#
# Each fuzzer starts from its seeds (native/fuzz/corpus/<unit>) plus what
# earlier runs kept in build/native/corpus; the run ends with one table and
# fails when any fuzzer found a fault, naming the saved input.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

fuzz_seconds=0
fuzz_budget=0
while (($#)); do
  case $1 in
    --fuzz) fuzz_seconds=${2:?--fuzz needs a number of seconds}; shift 2 ;;
    --fuzz-budget) fuzz_budget=${2:?--fuzz-budget needs a number of seconds}; shift 2 ;;
    *) echo "usage: $0 [--fuzz SECONDS | --fuzz-budget SECONDS]" >&2; exit 2 ;;
  esac
done

ensure_packages
BUILD_DIR=$ROOT_DIR/build/native

log_step "Building native sanitizer tests"
cmake -S native -B "$BUILD_DIR" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
targets=(native_unittests)
if ((fuzz_seconds > 0 || fuzz_budget > 0)); then targets=(all); fi
cmake --build "$BUILD_DIR" -j "${BUILD_JOBS:-2}" --target "${targets[@]}"

log_step "Running native tests"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$BUILD_DIR/native_unittests" --gtest_brief=1

fuzzers=()
for fuzzer in "$BUILD_DIR"/*_fuzzer; do
  [ -x "$fuzzer" ] && fuzzers+=("$fuzzer")
done
if ((fuzz_budget > 0 && ${#fuzzers[@]} > 0)); then
  fuzz_seconds=$((fuzz_budget / ${#fuzzers[@]}))
  ((fuzz_seconds >= 2)) || fuzz_seconds=2
fi
((fuzz_seconds > 0)) || exit 0

rows=()
failed=()
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  unit=${name%_fuzzer}
  corpus=$BUILD_DIR/corpus/$name
  log=$BUILD_DIR/$name.log
  mkdir -p "$corpus"
  rm -f "$BUILD_DIR/$name-"crash-* "$BUILD_DIR/$name-"leak-* "$BUILD_DIR/$name-"timeout-* "$BUILD_DIR/$name-"oom-*
  args=(-max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$BUILD_DIR/$name-")
  [ -f "native/fuzz/$unit.dict" ] && args+=(-dict="native/fuzz/$unit.dict")
  seeds=()
  [ -d "native/fuzz/corpus/$unit" ] && seeds+=("native/fuzz/corpus/$unit")
  log_step "Fuzzing $name for $fuzz_seconds s (log: $log)"
  status=0
  "$fuzzer" "${args[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  [ -n "$executions" ] || executions=$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
  new_units=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -n 1)
  saved=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | sort -u)
  crashes=$(printf '%s' "$saved" | grep -c . || true)
  if ((status != 0)) && ((crashes == 0)); then crashes=1; fi
  rows+=("$name|${executions:-0}|${new_units:-0}|$crashes")
  if ((status != 0)); then
    tail -n 40 "$log" >&2
    failed+=("$name: ${saved:-no input saved, see $log}")
  fi
done

printf '\n%-32s %12s %10s %8s\n' target executions "new units" crashes
for row in "${rows[@]}"; do
  IFS='|' read -r name executions new_units crashes <<<"$row"
  printf '%-32s %12s %10s %8s\n' "$name" "$executions" "$new_units" "$crashes"
done
if ((${#failed[@]} > 0)); then
  printf '\nFuzzers found faults; the inputs are saved:\n' >&2
  printf '  %s\n' "${failed[@]}" >&2
  exit 1
fi
