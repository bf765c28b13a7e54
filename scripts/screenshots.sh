#!/usr/bin/env bash
# Pictures of the installer's windows under the virtual display, one per
# window and language, for a person to look at: texts that do not fit, wrap
# badly or lack glyphs show up here.
#
#   scripts/screenshots.sh [output directory]     (default: build/screenshots)
#
# Builds the x64 target and uses its own Wine prefix (build/screenshots-prefix,
# kept between runs).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

# Chinese and Japanese texts need a font with their glyphs.
REQUIRED_PACKAGES+=(fonts-wqy-microhei)
ensure_packages
enter_virtual_display "$ROOT_DIR/scripts/screenshots.sh" "$@"
build_preset windows-x64

OUT_DIR=$(realpath -m "${1:-$ROOT_DIR/build/screenshots}")
BIN_DIR="$ROOT_DIR/build/windows-x64/bin"
mkdir -p "$OUT_DIR"

prefix="$ROOT_DIR/build/screenshots-prefix"
if [ -f "$prefix/system.reg" ]; then
  wine_environment "$prefix"
  start_wineserver
else
  make_wine_prefix "$prefix"
fi
trap stop_wineserver EXIT

# The interface languages (code and Windows language identifier).
LANGUAGES=(en:1033 ru:1049 uk:1058 kk:1087 uz:1091 tr:1055 de:1031 fr:1036 cs:1029 it:1040 es:3082
           pt-BR:1046 pt-PT:2070 ja:1041 zh-CN:2052 zh-TW:1028)

# Waits for a new visible top-level window and prints its id (empty after 20 s).
wait_for_window() {
  local before=$1 window
  for _ in $(seq 200); do
    window=$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name . 2>/dev/null | sort) | head -1)
    if [ -n "$window" ]; then
      echo "$window"
      return
    fi
    sleep 0.1
  done
}

# Writes the screen area of `window` to `file`.
capture_window() {
  local window=$1 file=$2 X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$window")"
  sleep 0.5  # let the window finish drawing
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$file"
}

# The unsupported-processor message box (SSE3 missing) in every language.
processor_message_screenshots() {
  local installer entry code language before window pid
  installer=$(winepath_w "$BIN_DIR/TarvikBrowserInstaller.exe")
  for entry in "${LANGUAGES[@]}"; do
    code=${entry%%:*}
    language=${entry##*:}
    before=$(xdotool search --onlyvisible --name . 2>/dev/null | sort || true)
    "$WINE64" "$BIN_DIR/test_helper.exe" show-cpu-message "$installer" "$language" 484 </dev/null >/dev/null 2>&1 &
    pid=$!
    window=$(wait_for_window "$before")
    if [ -z "$window" ]; then
      echo "processor message ($code): no window appeared" >&2
      kill "$pid" 2>/dev/null || true
      continue
    fi
    capture_window "$window" "$OUT_DIR/processor_message_$code.png"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "$OUT_DIR/processor_message_$code.png"
  done
}

# The installer's dialogs, both families, in every language (or those in
# SCREENSHOT_LANGUAGES, e.g. "en ru ja").
CLASSIC_DIALOGS=(notice-0 notice-1 notice-3 notice-4 resume old-windows)
REDESIGNED_DIALOGS=(kind-0 kind-1 kind-2 kind-3 kind-4 kind-5 kind-6 kind-7 kind-8 kind-9 kind-10 kind-11 kind-12)
dialog_screenshots() {
  local entry code family name before window pid file
  for entry in "${LANGUAGES[@]}"; do
    code=${entry%%:*}
    if [ -n "${SCREENSHOT_LANGUAGES:-}" ] && [[ " $SCREENSHOT_LANGUAGES " != *" $code "* ]]; then continue; fi
    for family in classic redesigned; do
      local -n names="${family^^}_DIALOGS"
      for name in "${names[@]}"; do
        file="$OUT_DIR/dialog_${family}_${name}_$code.png"
        before=$(xdotool search --onlyvisible --name . 2>/dev/null | sort || true)
        "$WINE64" "$BIN_DIR/ui_gallery.exe" --dialog="$name" --family="$family" --language="$code" --seconds=20 \
          </dev/null >/dev/null 2>&1 &
        pid=$!
        window=$(wait_for_window "$before")
        if [ -z "$window" ]; then
          echo "dialog $family $name ($code): no window appeared" >&2
        else
          capture_window "$window" "$file"
          echo "$file"
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
      done
    done
  done
}

log_step "Processor message in every language"
[ -n "${SCREENSHOT_LANGUAGES:-}" ] || processor_message_screenshots
log_step "Dialogs in every language"
dialog_screenshots
