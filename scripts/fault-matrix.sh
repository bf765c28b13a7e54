#!/usr/bin/env bash
# The fault matrix: the real installer, silent, under wine64 against the local
# stand-ins, one fault per row (server faults, a broken %TEMP% or log, planted
# DLLs, tampered archives, a second instance, an elevated copy left alone, an
# installer ended mid-download). Prints one table: fault | expected exit code
# and log lines | observed | verdict. Exits 1 when a row fails.
#
#   scripts/fault-matrix.sh [--list] [--only NAME[,NAME...]]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

if [ "${1:-}" = "--list" ]; then
  exec python3 "$ROOT_DIR/standins/tests/fault_matrix.py" --list
fi

ensure_packages
enter_private_network "$ROOT_DIR/scripts/fault-matrix.sh" "$@"
# The second instance's stand-in owns a window.
enter_virtual_display "$ROOT_DIR/scripts/fault-matrix.sh" "$@"
build_preset windows-x64
BIN="$ROOT_DIR/build/windows-x64/bin"

make_wine_prefix "$ROOT_DIR/build/windows-x64/fault-wineprefix"
trap 'stop_standins; stop_wineserver' EXIT
start_standins "$ROOT_DIR/build/windows-x64/standins"
trust_standin_ca "$BIN"
trust_codesign_root "$BIN"
hold_wine_desktop "$BIN"

log_step "Running the fault matrix"
cd "$ROOT_DIR/standins/tests"
python3 fault_matrix.py "$@"
