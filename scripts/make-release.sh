#!/usr/bin/env bash
# The release steps of the README ("Making a release"), one command each:
# build, sign with the dummy certificate added, stamp the certificate and the
# trailer tag, verify the signature, read both tags back. With no key given it
# signs with the repository's TEST key, which nothing outside development trusts.
#
#   scripts/make-release.sh [--no-build] [--installer EXE] [--chain CHAIN.pem --key KEY.pem --ca ROOT.crt]
#                           [--tag TEXT] OUT_DIR
set -euo pipefail
ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT_DIR"

BUILD=1
INSTALLER=build/windows-x86/bin/TarvikBrowserInstaller.exe
CHAIN=tools/trust/test_codesign/leaf_sha256.chain.pem
KEY=tools/trust/test_codesign/leaf_sha256.key
CA=tools/trust/test_codesign/root.crt
TAG="partner_id=release-check&banerid=1"
while (($#)); do
  case $1 in
    --no-build) BUILD=0; shift ;;
    --installer) INSTALLER=$2; shift 2 ;;
    --chain) CHAIN=$2; shift 2 ;;
    --key) KEY=$2; shift 2 ;;
    --ca) CA=$2; shift 2 ;;
    --tag) TAG=$2; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    -*) echo "make-release: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if (($# != 1)); then
  echo "make-release: give the output folder (see --help)" >&2
  exit 2
fi
OUT=$1
mkdir -p "$OUT"
SIGNED="$OUT/TarvikBrowserInstaller.exe"

step() { printf '\n==> %s\n' "$*" >&2; "$@"; }

if ((BUILD)); then
  # 1. Build: bin/ gets the stripped executable and its symbols file.
  step cmake --preset windows-x86
  step cmake --build --preset windows-x86 --target TarvikBrowserInstaller
fi
# 2. Check the size and that nothing but the stripped file ships, and that
#    every import slot its code calls through leads to its function.
step python3 tools/size_report.py "$INSTALLER"
step python3 tools/check_imports.py "$INSTALLER"
# 3. The dummy certificate that carries the tag.
step python3 tools/dummy_certificate.py "$OUT/dummy.pem"
# 4. Sign, with the dummy certificate in the signature.
step python3 tools/trust/sign_module.py --in "$INSTALLER" --out "$SIGNED" \
  --sign "$CHAIN" "$KEY" sha256 --add-cert "$OUT/dummy.pem"
# 5. Stamp the tags (the signature does not cover them).
step python3 tools/tag_tool.py stamp --kind certificate --tag "$TAG" "$SIGNED" "$SIGNED"
step python3 tools/tag_tool.py stamp --kind trailer --tag "$TAG" "$SIGNED" "$SIGNED"
# 6. The signature still holds.
step osslsigncode verify -CAfile "$CA" -in "$SIGNED"
# 7. The tags read back.
step python3 tools/tag_tool.py read --kind certificate "$SIGNED"
step python3 tools/tag_tool.py read --kind trailer "$SIGNED"
# 8. Signing and stamping changed nothing the build made.
step python3 tools/release_digest.py "$SIGNED" "$INSTALLER"
[ "$(python3 tools/release_digest.py "$SIGNED" "$INSTALLER" | cut -d' ' -f1 | uniq | wc -l)" -eq 1 ] || {
  echo "make-release: the signed file is not the build's output" >&2; exit 1; }
# 9. The symbols file of this build goes with the release, for its crash dumps.
step cp "${INSTALLER%.exe}.debug" "$OUT/"
# 10. The released file itself runs: its probe mode under Wine's 32-bit half
#     answers 700 or 701 (the shell sees the low byte: 188 or 189). In the
#     test run's prefix when there is one, else in a new one beside the output.
run_released_probe() {
  if [ -z "${TARVIK_WINE64:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
    source "$ROOT_DIR/scripts/lib/common.sh"
    source "$ROOT_DIR/scripts/lib/wine32.sh"
    ensure_wine32 || return 1
    export TARVIK_WINE64=$WINE32_BIN_DIR/wine64 WINEPREFIX=$(cd "$OUT" && pwd)/wineprefix WINEARCH=win64
    [ -f "$WINEPREFIX/system.reg" ] || "$TARVIK_WINE64" wineboot -i >/dev/null 2>&1
  fi
  local status=0
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d" \
    "$TARVIK_WINE64" "$SIGNED" --check-the-interface </dev/null >/dev/null 2>&1 || status=$?
  case $status in
    188 | 189) echo "the released installer's probe answered $((status + 512))" ;;
    *) echo "make-release: the released installer's probe ended with $status, not 700 or 701" >&2; return 1 ;;
  esac
}
step run_released_probe
