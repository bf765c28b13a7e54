#!/usr/bin/env bash
# Builds the platform-neutral code natively with AddressSanitizer and
# UndefinedBehaviorSanitizer (native/CMakeLists.txt) and runs its unit tests.
#
#   scripts/native-tests.sh              build and run the native tests
#   scripts/native-tests.sh --fuzz N     then run each fuzzer for N seconds
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

fuzz_seconds=0
while (($#)); do
  case $1 in
    --fuzz) fuzz_seconds=${2:?--fuzz needs a number of seconds}; shift 2 ;;
    *) echo "usage: $0 [--fuzz SECONDS]" >&2; exit 2 ;;
  esac
done

ensure_packages
BUILD_DIR=$ROOT_DIR/build/native

log_step "Building native sanitizer tests"
cmake -S native -B "$BUILD_DIR" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
targets=(native_unittests)
if ((fuzz_seconds > 0)); then targets=(all); fi
cmake --build "$BUILD_DIR" -j "${BUILD_JOBS:-2}" --target "${targets[@]}"

log_step "Running native tests"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$BUILD_DIR/native_unittests" --gtest_brief=1

if ((fuzz_seconds > 0)); then
  for fuzzer in "$BUILD_DIR"/*_fuzzer; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    unit=${name%_fuzzer}
    corpus=$BUILD_DIR/corpus/$name
    mkdir -p "$corpus"
    args=(-max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix="$BUILD_DIR/$name-")
    [ -f "native/fuzz/$unit.dict" ] && args+=(-dict="native/fuzz/$unit.dict")
    seeds=()
    [ -d "native/fuzz/corpus/$unit" ] && seeds+=("native/fuzz/corpus/$unit")
    log_step "Fuzzing $name for $fuzz_seconds s (log: $BUILD_DIR/$name.log)"
    if ! "$fuzzer" "${args[@]}" "$corpus" "${seeds[@]}" >"$BUILD_DIR/$name.log" 2>&1; then
      tail -n 60 "$BUILD_DIR/$name.log" >&2
      echo "$name found a fault; the input is saved under $BUILD_DIR/$name-*" >&2
      exit 1
    fi
    grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' \
      "$BUILD_DIR/$name.log" || true
  done
fi
