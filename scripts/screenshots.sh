#!/usr/bin/env bash
# Pictures of the installer's own windows under a virtual display, for a
# person to look at: texts that do not fit, wrap badly or lack glyphs show up
# here. testing/ui_gallery.exe runs the real installation window (first
# screen, progress screen on the built-in and on a downloaded slide, the
# skipped first screen) and the real dialogs of both families; every
# language, both themes, scale 1 and 2, and the unsupported-processor
# message box. Into build/screenshots/: the full-size pictures, and one
# contact sheet per screen and per dialog (sheet_*.png), each picture
# labelled with its language, theme and scale.
#
#   scripts/screenshots.sh
#   SCREENSHOT_LANGUAGES="en de kk" SCREENSHOT_SCALES=1 scripts/screenshots.sh
#   SCREENSHOT_PARTS="windows high-contrast processor dialogs" (all by default)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

ensure_packages
if [ -z "${TARVIK_UNDER_XVFB:-}" ]; then
  # Large enough for the scale-2 window with its shadow.
  TARVIK_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1900x1100x24" "$0" "$@"
fi

build_preset windows-x64
BIN=$ROOT_DIR/build/windows-x64/bin
OUT=$ROOT_DIR/build/screenshots
PREFIX=$ROOT_DIR/build/windows-x64/screenshot-prefix
make_wine_prefix "$PREFIX"
report_windows_10
trap 'stop_wineserver' EXIT
hold_wine_desktop "$BIN"
mkdir -p "$OUT"

# The interface languages (code and Windows language identifier).
LANGUAGES=(en:1033 ru:1049 uk:1058 kk:1087 uz:1091 tr:1055 de:1031 fr:1036 cs:1029 it:1040 es:3082
           pt-BR:1046 pt-PT:2070 ja:1041 zh-CN:2052 zh-TW:1028)
read -r -a SCALES <<<"${SCREENSHOT_SCALES:-1 2}"
SCREENS=(first progress slide skipped)
STANDIN_SLIDES=$ROOT_DIR/build/windows-x64/standins/slides

wanted_language() {
  [ -z "${SCREENSHOT_LANGUAGES:-}" ] || [[ " $SCREENSHOT_LANGUAGES " == *" $1 "* ]]
}

# shoot NAME GALLERY-ARGUMENTS...: runs the gallery until it has painted and
# keeps the part of the screen it drew on (window, shadow and a margin).
shoot() {
  local name=$1 ready
  shift
  ready=$(mktemp -u /tmp/tarvik-gallery-XXXXXX)
  "$WINE64" "$BIN/ui_gallery.exe" "$@" --seconds=20 "--ready=Z:${ready//\//\\}" >/dev/null 2>&1 &
  local gallery=$!
  for _ in $(seq 200); do
    [ -e "$ready" ] && break
    sleep 0.1
  done
  sleep 0.5  # the layered shadow and late child paints
  local window geometry X Y WIDTH HEIGHT
  window=$(xdotool search --onlyvisible --name "^Tarvik$" | head -n 1 || true)
  if [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    geometry="$((WIDTH + 60))x$((HEIGHT + 60))+$((X > 30 ? X - 30 : 0))+$((Y > 30 ? Y - 30 : 0))"
    import -window root -crop "$geometry" +repage "$OUT/$name.png"
  else
    import -window root "$OUT/$name.png"
  fi
  echo "$OUT/$name.png" >&2
  kill "$gallery" 2>/dev/null || true
  wait "$gallery" 2>/dev/null || true
  rm -f "$ready"
}

# contact_sheet NAME PREFIX FILE...: the files side by side, small, each
# labelled with its name after PREFIX (language, theme, scale).
contact_sheet() {
  local name=$1 prefix=$2 file
  shift 2
  [ "$#" -gt 0 ] || return 0
  local labelled=()
  for file in "$@"; do
    [ -e "$file" ] && labelled+=(-label "$(basename "$file" .png | sed "s/^$prefix//")" "$file")
  done
  # ImageMagick's default label font is a PostScript one Debian may lack.
  montage "${labelled[@]}" -font "$(fc-match -f '%{file}' Inter)" -geometry 420x320+6+6 -tile 8x \
    -background '#e8e8e8' -pointsize 14 "$OUT/sheet_$name.png"
  echo "$OUT/sheet_$name.png"
}

window_screenshots() {
  local entry code theme scale screen slide_file name
  for screen in "${SCREENS[@]}"; do
    local files=()
    for entry in "${LANGUAGES[@]}"; do
      code=${entry%%:*}
      wanted_language "$code" || continue
      for theme in light dark; do
        slide_file=$STANDIN_SLIDES/slide_03_2x.png
        [ "$theme" = dark ] && slide_file=$STANDIN_SLIDES/dark_slide_03_2x.png
        for scale in "${SCALES[@]}"; do
          name="window_${screen}_${code}_${theme}_${scale}x"
          shoot "$name" --screen="$screen" --theme="$theme" --force-device-scale-factor="$scale" \
            --language="$code" "--slide=$(winepath_w "$slide_file")"
          files+=("$OUT/$name.png")
        done
      done
    done
    contact_sheet "window_$screen" "window_${screen}_" "${files[@]}"
  done
}

# High contrast: the four screens in English and German at both scales, and
# a notice, the resume question and the download error in each family.
high_contrast_screenshots() {
  local code screen scale files=() name
  for code in en de; do
    for screen in "${SCREENS[@]}"; do
      for scale in "${SCALES[@]}"; do
        name="high_contrast_${screen}_${code}_${scale}x"
        shoot "$name" --high-contrast --screen="$screen" --force-device-scale-factor="$scale" --language="$code" \
          "--slide=$(winepath_w "$STANDIN_SLIDES/slide_03_2x.png")"
        files+=("$OUT/$name.png")
      done
    done
  done
  local family dialog file
  for family in classic redesigned; do
    for dialog in notice-4 resume kind-6; do
      [ "$family/$dialog" = classic/kind-6 ] && continue
      file="$OUT/high_contrast_dialog_${family}_${dialog}.png"
      shoot_dialog "$file" --high-contrast --dialog="$dialog" --family="$family" && files+=("$file")
    done
  done
  contact_sheet high_contrast high_contrast_ "${files[@]}"
}

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

# shoot_dialog FILE GALLERY-ARGUMENTS...: runs one of the gallery's dialogs
# and photographs it into FILE; false when no window appeared.
shoot_dialog() {
  local file=$1 before window pid status=0
  shift
  before=$(xdotool search --onlyvisible --name . 2>/dev/null | sort || true)
  "$WINE64" "$BIN/ui_gallery.exe" "$@" --seconds=20 </dev/null >/dev/null 2>&1 &
  pid=$!
  window=$(wait_for_window "$before")
  if [ -z "$window" ]; then
    echo "$(basename "$file" .png): no window appeared" >&2
    status=1
  else
    capture_window "$window" "$file"
    echo "$file"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  return "$status"
}

# The unsupported-processor message box (SSE3 missing) in every language.
processor_message_screenshots() {
  local installer entry code language before window pid
  installer=$(winepath_w "$BIN/TarvikBrowserInstaller.exe")
  for entry in "${LANGUAGES[@]}"; do
    code=${entry%%:*}
    language=${entry##*:}
    wanted_language "$code" || continue
    before=$(xdotool search --onlyvisible --name . 2>/dev/null | sort || true)
    "$WINE64" "$BIN/test_helper.exe" show-cpu-message "$installer" "$language" sse3 </dev/null >/dev/null 2>&1 &
    pid=$!
    window=$(wait_for_window "$before")
    if [ -z "$window" ]; then
      echo "processor message ($code): no window appeared" >&2
      kill "$pid" 2>/dev/null || true
      continue
    fi
    capture_window "$window" "$OUT/processor_message_$code.png"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "$OUT/processor_message_$code.png"
  done
}

# The installer's dialogs, both families, in every language and scale, one
# contact sheet per dialog.
CLASSIC_DIALOGS=(notice-0 notice-1 notice-3 notice-4 resume old-windows)
REDESIGNED_DIALOGS=(kind-0 kind-1 kind-2 kind-3 kind-4 kind-5 kind-6 kind-7 kind-8 kind-9 kind-10 kind-11 kind-12)
dialog_screenshots() {
  local entry code family name file scale
  for family in classic redesigned; do
    local -n names="${family^^}_DIALOGS"
    for name in "${names[@]}"; do
      local files=()
      for entry in "${LANGUAGES[@]}"; do
        code=${entry%%:*}
        wanted_language "$code" || continue
        for scale in "${SCALES[@]}"; do
          file="$OUT/dialog_${family}_${name}_${code}_${scale}x.png"
          shoot_dialog "$file" --dialog="$name" --family="$family" --language="$code" \
            --force-device-scale-factor="$scale" && files+=("$file")
        done
      done
      contact_sheet "dialog_${family}_$name" "dialog_${family}_${name}_" "${files[@]}"
    done
  done
}

wanted_part() {
  [ -z "${SCREENSHOT_PARTS:-}" ] || [[ " $SCREENSHOT_PARTS " == *" $1 "* ]]
}

if wanted_part windows; then
  log_step "The installation window in every language, theme and scale"
  window_screenshots
fi
if wanted_part high-contrast; then
  log_step "High contrast"
  high_contrast_screenshots
fi
if wanted_part processor; then
  log_step "Processor message in every language"
  processor_message_screenshots
fi
if wanted_part dialogs; then
  log_step "Dialogs in every language"
  dialog_screenshots
fi
