#!/usr/bin/env bash
# The download part of scripts/bench.sh, kept for its old name.
#
#   scripts/bench-download.sh [runs per size, default 3]
BENCH_RUNS=${1:-${BENCH_RUNS:-3}} exec "$(dirname "${BASH_SOURCE[0]}")/bench.sh" download
