#!/usr/bin/env bash
# CTest's emulator for the Windows unit-test program (and fuzz_replay, whose
# first line names it): runs it under wine64.
# Under load Wine sometimes fails to start a process at all; such a run fails
# without a line of GoogleTest output. It is started once more, and the
# output says so. A test that ran and failed is never repeated.
set -u
WINE64=${TARVIK_WINE64:-/usr/lib/wine/wine64}
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

"$WINE64" "$@" >"$out" 2>"$err"
status=$?
if [ "$status" -ne 0 ] && ! grep -qE '^\[==========\]|^Running main\(\)|^Note: Google Test filter|^fuzz_replay ' "$out"; then
  echo "run_windows_test: the test process gave no GoogleTest output (exit $status): it never started; starting it once more" >&2
  cat "$err" >&2
  "$WINE64" "$@" >"$out" 2>"$err"
  status=$?
fi
cat "$out"
cat "$err" >&2
exit "$status"
