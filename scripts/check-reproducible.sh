#!/usr/bin/env bash
# Builds the shipping i686 installer from scratch in a fresh directory,
# without ccache, and compares the SHA-256 of its shipped executable (and of
# its symbols file) with a second build: another fresh one, or with
# --against DIR an existing clean build (CI passes the preset build its tests
# just made, which saves one build). Exit status 1 when they differ.
#
#   scripts/check-reproducible.sh [--against BUILD_DIR]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"
ensure_packages

against=
if [ "${1:-}" = --against ]; then
  against=$(cd "$2" && pwd)
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
builds=(first second)
if [ -n "$against" ]; then
  builds=(second)
  ln -s "$against" "$WORK/first"
fi
for build in "${builds[@]}"; do
  log_step "Building the shipping installer ($build build, $WORK/$build)"
  env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER CCACHE_DISABLE=1 \
    cmake -S . -B "$WORK/$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT_DIR/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
  env CCACHE_DISABLE=1 cmake --build "$WORK/$build" -j "${BUILD_JOBS:-2}" --target TarvikBrowserInstaller >/dev/null
  # A later time for the second build: nothing of the clock may reach the file.
  sleep 2
done

status=0
for file in TarvikBrowserInstaller.exe TarvikBrowserInstaller.debug; do
  first=$(sha256sum "$WORK/first/bin/$file" | cut -d' ' -f1)
  second=$(sha256sum "$WORK/second/bin/$file" | cut -d' ' -f1)
  echo "$first  first/bin/$file"
  echo "$second  second/bin/$file"
  if [ "$first" != "$second" ]; then
    echo "check-reproducible: $file differs between the two builds" >&2
    status=1
  fi
done
exit $status
