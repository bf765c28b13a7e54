#!/usr/bin/env bash
# What takes the space in the shipped installer: its size against the 1.5 MiB
# budget, bytes by section and resource bytes by resource type. Builds the
# shipping i686 target first; exit status 1 when the file is over budget
# (tools.test_release runs the same report, so a build over it fails there).
#
#   scripts/size-report.sh [EXE]     default: build/windows-x86/bin/TarvikBrowserInstaller.exe
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$ROOT_DIR"

if (($# == 0)); then
  ensure_packages
  cmake --preset windows-x86 >/dev/null
  cmake --build --preset windows-x86 -j "${BUILD_JOBS:-2}" --target TarvikBrowserInstaller >/dev/null
fi
exec python3 tools/size_report.py "${1:-build/windows-x86/bin/TarvikBrowserInstaller.exe}"
