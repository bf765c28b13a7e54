#!/usr/bin/env bash
# Photographs the window toolkit's gallery (testing/ui_gallery.exe) under a
# virtual display: each screen in both themes at scale 1 and 2, plus the
# first screen in Russian, Japanese and Chinese, into build/screenshots/*.png.
#
#   scripts/screenshots.sh
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
trap 'stop_wineserver' EXIT
hold_wine_desktop "$BIN"
mkdir -p "$OUT"

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
  sleep 1  # the layered shadow and late child paints
  local window geometry
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

for theme in light dark; do
  for scale in 1 2; do
    for screen in first progress dialog; do
      shoot "$screen-$theme-${scale}x" --screen=$screen --theme=$theme --force-device-scale-factor=$scale
    done
  done
done
for language in ru ja zh-CN; do
  shoot "first-light-1x-$language" --screen=first --theme=light --language=$language
done
