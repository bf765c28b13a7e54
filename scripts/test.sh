#!/usr/bin/env bash
# Builds both targets and runs every test (unit tests under wine64, the
# end-to-end tests against the local stand-ins, the host tools' tests, and
# the shipped i686 build itself through Wine's 32-bit half).
# Installs what it needs on a fresh Debian 12 machine; quick when run again.
#
#   scripts/test.sh [ctest arguments...]     e.g. scripts/test.sh -R Logger
#
# TARVIK_SKIP_I686=1 leaves out the tests of the i686 build where Wine's
# 32-bit half cannot be set up (it needs root for its binfmt_misc entry).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$ROOT_DIR/scripts/lib/wine32.sh"
cd "$ROOT_DIR"

ensure_packages
# Before the private network: a first set-up downloads Debian's packages.
ctest_filter=()
if [ "${TARVIK_SKIP_I686:-0}" = 1 ]; then
  echo "TARVIK_SKIP_I686=1: the i686 build's tests are left out" >&2
  ctest_filter=(-LE i686)
else
  ensure_wine32 || { echo "Wine's 32-bit half is needed to test the shipped build (TARVIK_SKIP_I686=1 leaves it out)" >&2; exit 1; }
  # One wine64 for everything: beside the 32-bit loader, it starts PE32 and
  # x86_64 programs alike, and the prefix it makes has syswow64.
  WINE64=$WINE32_BIN_DIR/wine64
  export TARVIK_WINE64=$WINE64
fi

enter_private_network "$ROOT_DIR/scripts/test.sh" "$@"
enter_virtual_display "$ROOT_DIR/scripts/test.sh" "$@"

build_preset windows-x64
build_preset windows-x86

make_wine_prefix "$ROOT_DIR/build/windows-x64/wineprefix"
trap 'stop_standins; stop_wineserver' EXIT
start_standins "$ROOT_DIR/build/windows-x64/standins"
trust_standin_ca "$ROOT_DIR/build/windows-x64/bin"
trust_codesign_root "$ROOT_DIR/build/windows-x64/bin"
hold_wine_desktop "$ROOT_DIR/build/windows-x64/bin"

log_step "Running tests"
ctest --test-dir build/windows-x64 -j "${TEST_JOBS:-2}" --output-on-failure --timeout 300 "${ctest_filter[@]}" "$@"

# The platform-neutral code again, natively under ASan/UBSan, and every
# fuzzer briefly from the repository's seeds (about a minute in all).
"$ROOT_DIR/scripts/native-tests.sh" --fuzz-budget "${FUZZ_BUDGET_SECONDS:-60}"
