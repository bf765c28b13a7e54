#!/usr/bin/env bash
# Builds both targets and runs every test (unit tests under wine64, the
# end-to-end tests against the local stand-ins, the host tools' tests).
# Installs what it needs on a fresh Debian 12 machine; quick when run again.
#
#   scripts/test.sh [ctest arguments...]     e.g. scripts/test.sh -R Logger
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

ensure_packages
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
ctest --test-dir build/windows-x64 -j "${TEST_JOBS:-2}" --output-on-failure --timeout 300 "$@"

# The platform-neutral code again, natively under ASan/UBSan, and every
# fuzzer briefly from the repository's seeds (about a minute in all).
"$ROOT_DIR/scripts/native-tests.sh" --fuzz-budget "${FUZZ_BUDGET_SECONDS:-60}"
