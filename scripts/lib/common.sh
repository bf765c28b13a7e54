# Shared set-up for the run and test commands: packages, builds, Wine prefix.
# Sourced, not run.

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

REQUIRED_PACKAGES=(
  cmake ninja-build googletest python3 openssl
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libz-mingw-w64-dev
  wine64 libgnutls30 xvfb xauth xdotool imagemagick fonts-liberation
  osslsigncode gcab
  librsvg2-bin pngquant fonts-inter
  zopfli  # zopflipng: the art's PNGs in the fewest bytes for the same pixels (tools/render_images.py)
  clang libclang-rt-14-dev zlib1g-dev
  fonts-inter python3-fonttools  # the window's fonts are made from these at build time
  fonts-wqy-microhei  # Chinese and Japanese glyphs for the system faces under Wine (map_windows_faces)
  tinyproxy  # the users' proxy of the network tests (standins/proxies.py)
  fonts-croscore  # Arimo: Arial's metrics with the Kazakh letters Windows' Arial has (map_windows_faces)
)

log_step() { printf '\n==> %s\n' "$*" >&2; }

# Installs what is missing; quick when everything is there.
ensure_packages() {
  local missing=()
  for package in "${REQUIRED_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  if ((${#missing[@]})); then
    log_step "Installing packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

build_preset() {
  local preset=$1
  log_step "Building $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "${BUILD_JOBS:-2}"
}

wine_environment() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
  export WINEARCH=win64
}

# A fresh private prefix, booted, with a persistent wineserver warmed up so
# services started by the first test do not hold CTest's output pipe.
make_wine_prefix() {
  local prefix=$1
  wine_environment "$prefix"
  log_step "Creating Wine prefix $prefix"
  if [ -d "$prefix" ]; then
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$prefix"
  fi
  mkdir -p "$(dirname "$prefix")"
  "$WINE64" wineboot -i >/dev/null 2>&1
  "$WINESERVER" -w
  start_wineserver
  map_windows_faces
}

# Windows faces Wine does not have, as they are on Windows: the faces the
# window takes for Chinese, Japanese and Korean texts (ui/ui_font_faces.cc)
# become Debian's CJK font, and Arial (the classic dialogs) becomes Arimo,
# which has Arial's metrics and, as Windows' Arial does, every Kazakh letter;
# Wine's own choice for Arial draws those as boxes.
map_windows_faces() {
  local reg_file face
  reg_file=$(mktemp /tmp/tarvik-faces-XXXXXX.reg)
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for face in "Microsoft YaHei" "Microsoft JhengHei" "Yu Gothic UI" "Meiryo UI" "Malgun Gothic"; do
      printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
    done
    printf '"Arial"="Arimo"\r\n'
  } >"$reg_file"
  "$WINE64" reg import "Z:${reg_file//\//\\}" >/dev/null
  rm -f "$reg_file"
}

# Wine 8 reports Windows 7 (6.1.7601) in a new prefix, where the window
# takes its older pictures (JPEG art, no shadow window). What measures or
# shows the window as most users see it asks for Windows 10.
report_windows_10() {
  "$WINE64" winecfg /v win10 >/dev/null 2>&1
}

start_wineserver() {
  "$WINESERVER" -p30
  "$WINE64" cmd /c exit 0 >/dev/null 2>&1 || true
}

# Keeps the prefix's desktop connected for the whole run. Wine closes an idle
# desktop, and the next window program starts it again with its own standard
# handles: under CTest that test's output pipe then stays open for as long as
# other tests keep the desktop busy, and the test times out after passing.
hold_wine_desktop() {
  local bin_dir=$1 ready
  ready=$(mktemp -u /tmp/tarvik-desktop-XXXXXX)
  "$WINE64" "$bin_dir/test_helper.exe" hold-desktop "Z:${ready//\//\\}" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 100); do
    [ -e "$ready" ] && break
    sleep 0.1
  done
  rm -f "$ready"
}

stop_wineserver() {
  "$WINESERVER" -k 2>/dev/null || true
}

# Windows form of a Linux path inside the current prefix.
winepath_w() {
  "$WINE64" winepath -w "$1" 2>/dev/null | tr -d '\r'
}

# The local stand-in of the maker's services (standins/server.py): started
# before the tests, stopped after them; its test CA is trusted in the prefix.
STANDIN_CLIENT="$ROOT_DIR/standins/standin_client.py"
STANDINS_STARTED=0

start_standins() {
  export TARVIK_STANDIN_DIR=$1
  log_step "Starting the stand-in server ($TARVIK_STANDIN_DIR)"
  if python3 "$STANDIN_CLIENT" status --state-dir "$TARVIK_STANDIN_DIR" >/dev/null 2>&1; then
    echo "already running; using it" >&2
  else
    python3 "$STANDIN_CLIENT" start --state-dir "$TARVIK_STANDIN_DIR" >&2
    STANDINS_STARTED=1
  fi
}

stop_standins() {
  if [ "$STANDINS_STARTED" = 1 ]; then
    python3 "$STANDIN_CLIENT" stop --state-dir "$TARVIK_STANDIN_DIR" || true
    STANDINS_STARTED=0
  fi
}

# Adds the stand-in's test CA to the Root store of the current Wine prefix
# (WinINet over HTTPS then accepts https://localhost:4744x).
trust_standin_ca() {
  local bin_dir=$1 ca
  ca=$(python3 "$STANDIN_CLIENT" ca --state-dir "$TARVIK_STANDIN_DIR")
  "$WINE64" "$bin_dir/test_helper.exe" add-root-cert "Z:${ca//\//\\}"
}

# Re-runs the calling script in a private network namespace with only a
# loopback interface: the stand-ins' fixed ports never clash with another run
# on the same machine, and nothing can reach outside. Falls back to the shared
# network where namespaces are not available (no root, no unshare).
enter_private_network() {
  [ -z "${TARVIK_PRIVATE_NETWORK:-}" ] || return 0
  if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
     unshare -n true 2>/dev/null; then
    export TARVIK_PRIVATE_NETWORK=1
    exec unshare -n -- bash -c 'ip link set lo up && exec "$@"' bash "$@"
  fi
  export TARVIK_PRIVATE_NETWORK=shared
}

# Re-runs the calling script under one virtual X display. Wine ties a
# prefix's desktop to the display of the first program it runs, and tests
# create windows: everything from the prefix warm-up on runs under it.
enter_virtual_display() {
  [ -z "${TARVIK_UNDER_XVFB:-}" ] || return 0
  TARVIK_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
}

# Trusts the test code-signing root of the stand-in setup archives in the
# current Wine prefix, as a machine must whose installer verifies them.
trust_codesign_root() {
  local bin_dir=$1
  "$WINE64" "$bin_dir/test_helper.exe" add-root-cert "$(winepath_w "$ROOT_DIR/tools/trust/test_codesign/root.cer")"
}
