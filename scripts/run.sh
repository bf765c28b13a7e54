#!/usr/bin/env bash
# Builds the installer and runs it under Wine against the local stand-ins of
# the maker's services, then shows the outcome: the full exit code, the
# installed stand-in browser (its registry values and files), the command line
# the stand-in setup received, and the installer log.
#
#   scripts/run.sh [installer switches...]      (default: the window)
#   scripts/run.sh --silent                     (no window)
#   scripts/run.sh --x64 [installer switches...]
#
# It runs the shipped i686 build, the file users get, through Wine's 32-bit
# half (set up once per machine, see scripts/lib/wine32.sh); --x64 runs the
# x86_64 build instead.
#
# The window shows on the display when there is one. Without a display it runs
# under a virtual one: the script clicks Install itself and saves a picture of
# each screen to build/run-screenshots/.
#
# Installs what it needs on a fresh Debian 12 machine; quick when run again
# (the Wine prefix build/run-prefix is kept between runs; delete it to start
# from scratch).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$ROOT_DIR/scripts/lib/wine32.sh"
cd "$ROOT_DIR"

ensure_packages
silent=0
preset=windows-x86
args=()
for arg in "$@"; do
  case "${arg,,}" in
    --x64) preset=windows-x64; continue ;;
    --silent | -silent | /silent | --semi-silent | -semi-silent | /semi-silent) silent=1 ;;
  esac
  args+=("$arg")
done
if [ "$preset" = windows-x86 ]; then
  # Before the private network: a first set-up downloads Debian's packages.
  ensure_wine32 || { echo "Wine's 32-bit half could not be set up; scripts/run.sh --x64 runs the x86_64 build" >&2; exit 1; }
  WINE64=$WINE32_BIN_DIR/wine64
fi
# A person at a display sees the real window; everything else runs headless.
on_display=0
[ "$silent" = 0 ] && [ -n "${DISPLAY:-}" ] && [ -z "${TARVIK_UNDER_XVFB:-}" ] && on_display=1
enter_private_network "$ROOT_DIR/scripts/run.sh" "$@"
[ "$on_display" = 1 ] || enter_virtual_display "$ROOT_DIR/scripts/run.sh" "$@"
build_preset windows-x64
[ "$preset" = windows-x64 ] || build_preset "$preset"

prefix="$ROOT_DIR/build/run-prefix"
# A prefix made without the 32-bit half has no syswow64 for PE32 programs.
if [ -f "$prefix/system.reg" ] && { [ "$preset" = windows-x64 ] || [ -d "$prefix/drive_c/windows/syswow64" ]; }; then
  wine_environment "$prefix"
  start_wineserver
else
  make_wine_prefix "$prefix"
fi
trap 'stop_standins; stop_wineserver' EXIT
# The stand-in server serves the signed stand-in setup program of this build.
export TARVIK_STANDIN_ARCHIVE="$ROOT_DIR/build/windows-x64/standins/browser-setup.arc"
start_standins "$ROOT_DIR/build/run-standins"
trust_standin_ca "$ROOT_DIR/build/windows-x64/bin"
trust_codesign_root "$ROOT_DIR/build/windows-x64/bin"

if [ "$silent" = 0 ] && [ "$on_display" = 0 ]; then
  # Slow enough to photograph the progress screen; the browser leaves soon.
  args+=(--standin-step-delay-ms=700 --standin-browser-lifetime-ms=2000)
fi

bin="$ROOT_DIR/build/windows-x64/bin"
installer="$ROOT_DIR/build/$preset/bin/TarvikBrowserInstaller.exe"
temp_dir=$("$WINE64" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
log_file=$("$WINE64" winepath -u "$temp_dir\\ostrel.log" 2>/dev/null)
record_file=$("$WINE64" winepath -u "$temp_dir\\tarvik_standin_record.jsonl" 2>/dev/null)
rm -f "$log_file" "$record_file"

log_step "Running build/$preset/bin/TarvikBrowserInstaller.exe ${args[*]}"
# Into a file, not a pipe: the browser that setup starts inherits the
# output and would hold a pipe open for its whole life.
outcome_file=$(mktemp)
if [ "$silent" = 1 ] || [ "$on_display" = 1 ]; then
  "$WINE64" "$bin/launcher.exe" -- "$(winepath_w "$installer")" "${args[@]}" >"$outcome_file"
else
  "$WINE64" "$bin/launcher.exe" -- "$(winepath_w "$installer")" "${args[@]}" \
    >"$outcome_file" &
  installer_job=$!
  if ! python3 "$ROOT_DIR/scripts/lib/drive_window.py" --out "$ROOT_DIR/build/run-screenshots" --pid "$installer_job"; then
    echo "(the window could not be driven; see the log below)"
    stop_wineserver
  fi
  wait "$installer_job" || true
fi
tr -d '\r' <"$outcome_file" | sed 's/^exit\[0\]=/Installer exit code: /'
rm -f "$outcome_file"

log_step "Installed stand-in browser"
"$WINE64" reg query 'HKCU\Software\Tarvik\TarvikBrowser' /v pv 2>/dev/null | tr -d '\r' | grep pv ||
  echo "pv: (not set)"
"$WINE64" reg query 'HKCU\Software\Tarvik\TarvikBrowser' /v UninstallString 2>/dev/null | tr -d '\r' |
  grep UninstallString || echo "UninstallString: (not set)"
install_dir=$(python3 - "$record_file" <<'PY'
import json, sys
runs = []
try:
    with open(sys.argv[1], encoding="utf-8") as f:
        runs = [json.loads(line) for line in f if line.strip()]
except OSError:
    pass
setup = [run for run in runs if run.get("role") == "setup"]
print(setup[-1].get("install_dir", "") if setup else "")
PY
)
if [ -n "$install_dir" ] && install_path=$("$WINE64" winepath -u "$install_dir" 2>/dev/null) && [ -d "$install_path" ]; then
  echo "Files in $install_dir:"
  (cd "$install_path" && find . -type f | sort | sed 's|^\./|  |')
else
  echo "(nothing installed)"
fi

log_step "Setup command line (as the stand-in setup recorded it)"
python3 - "$record_file" <<'PY'
import json, sys
try:
    with open(sys.argv[1], encoding="utf-8") as f:
        runs = [json.loads(line) for line in f if line.strip()]
except OSError:
    runs = []
setup = [run for run in runs if run.get("role") == "setup"]
if not setup:
    print("(setup did not run)")
for run in setup:
    print(run["command_line"])
    for name, value in sorted(run.get("switches", {}).items()):
        print("  --%s%s" % (name, "=" + value if value else ""))
    print("  exit code %s, browser started: %s" % (run.get("exit_code"), run.get("browser_started")))
PY

log_step "Installer log ($log_file)"
cat "$log_file" 2>/dev/null || echo "(no log written)"
