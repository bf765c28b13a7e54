#!/usr/bin/env bash
# Builds the installer and runs it under Wine, then shows the outcome: the
# full exit code and the installer log.
#
#   scripts/run.sh [installer switches...]      (default: --silent)
#
# Installs what it needs on a fresh Debian 12 machine; quick when run again
# (the Wine prefix build/run-prefix is kept between runs; delete it to start
# from scratch).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

ensure_packages
enter_private_network "$ROOT_DIR/scripts/run.sh" "$@"
if [ -z "${TARVIK_UNDER_XVFB:-}" ]; then
  TARVIK_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$ROOT_DIR/scripts/run.sh" "$@"
fi
build_preset windows-x64

prefix="$ROOT_DIR/build/run-prefix"
if [ -f "$prefix/system.reg" ]; then
  wine_environment "$prefix"
  start_wineserver
else
  make_wine_prefix "$prefix"
fi
trap 'stop_standins; stop_wineserver' EXIT
start_standins "$ROOT_DIR/build/run-standins"
trust_standin_ca "$ROOT_DIR/build/windows-x64/bin"
trust_codesign_root "$ROOT_DIR/build/windows-x64/bin"

args=("$@")
[ ${#args[@]} -gt 0 ] || args=(--silent)

bin="$ROOT_DIR/build/windows-x64/bin"
temp_dir=$("$WINE64" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
log_file=$("$WINE64" winepath -u "$temp_dir\\ostrel.log" 2>/dev/null)
rm -f "$log_file"

log_step "Running TarvikBrowserInstaller.exe ${args[*]}"
"$WINE64" "$bin/launcher.exe" -- "$(winepath_w "$bin/TarvikBrowserInstaller.exe")" "${args[@]}" | tr -d '\r'

log_step "Installer log ($log_file)"
cat "$log_file" 2>/dev/null || echo "(no log written)"
