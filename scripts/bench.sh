#!/usr/bin/env bash
# The installer's benchmarks. Each part measures the installer and a reference
# side by side in the same run and prints figures only (no pass/fail); the run
# ends with one table: measure | installer | reference | ratio (installer /
# reference).
#
#   scripts/bench.sh [download|verify|paint|idle|install|size]...   (all by default)
#
#   download  the downloader (test_helper download-to-file under wine64) against
#             curl, one 200 MB file from the stand-in over loopback HTTPS; the
#             downloading process's peak working set at 20 MB and 200 MB
#   verify    a signed 200 MB archive through the installer's whole verification
#             (trusted list, then WinVerifyTrust and the list's signers)
#             against sha256sum of the same file
#   paint     process start to the first painted window: the installer's first
#             screen against a minimal window program, under the virtual display;
#             x86_64, then the shipped i686 build against a 32-bit minimal
#             window, both emulated
#   idle      the installer idling at its first screen: processor time of
#             the whole process over 10 s (from /proc, against 1% of one
#             core), and the window's WM_PAINT messages in 10 s after its
#             first second (ui_gallery --idle-paints)
#   install   a whole silent installation against the stand-in setup archive
#             run alone with the command line the installer gave it, and the
#             shipped i686 build's installation (emulated) against x86_64's
#   size      the shipped i686 executable by section and resource type
#
# BENCH_RUNS (default 3; paint takes 4 more) sets the runs per measure; the best
# run counts (paint also prints the median). BENCH_KEEP_WORK=1 keeps the work
# folder (the installations' logs and setup records) and prints where it is.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$ROOT_DIR/scripts/lib/wine32.sh"
cd "$ROOT_DIR"
RUNS=${BENCH_RUNS:-3}
PAINT_RUNS=$((RUNS + 4))

ALL_PARTS=(download verify paint idle install size)
PARTS=("$@")
((${#PARTS[@]})) || PARTS=("${ALL_PARTS[@]}")
needs_wine=0
for part in "${PARTS[@]}"; do
  case "$part" in
    download | verify | paint | idle | install) needs_wine=1 ;;
    size) ;;
    *) echo "unknown part '$part'; choose from: ${ALL_PARTS[*]}" >&2; exit 2 ;;
  esac
done
selected() {
  local part
  for part in "${PARTS[@]}"; do [ "$part" = "$1" ] && return 0; done
  return 1
}

ensure_packages
if selected install || selected paint; then
  # The shipped i686 build runs through Wine's 32-bit half (set up before the
  # private network: a first set-up downloads Debian's packages).
  ensure_wine32 || { echo "Wine's 32-bit half could not be set up" >&2; exit 1; }
  WINE64=$WINE32_BIN_DIR/wine64
fi
if [ "$needs_wine" = 1 ]; then
  enter_private_network "$ROOT_DIR/scripts/bench.sh" "$@"
  enter_virtual_display "$ROOT_DIR/scripts/bench.sh" "$@"
fi

WORK=$(mktemp -d /tmp/tarvik-bench-XXXXXX)
ROWS=$WORK/rows.tsv
: >"$ROWS"
cleanup() {
  if [ "$needs_wine" = 1 ]; then
    stop_standins
    stop_wineserver
  fi
  if [ -n "${BENCH_KEEP_WORK:-}" ]; then
    echo "work folder kept: $WORK" >&2
  else
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT

# One table row: measure, installer figure, reference figure, ratio.
row() { printf '%s\t%s\t%s\t%s\n' "$@" >>"$ROWS"; }
calc() { python3 -c "print($1)"; }

BIN="$ROOT_DIR/build/windows-x64/bin"
STANDIN_OUT="$ROOT_DIR/build/windows-x64/standins"
if [ "$needs_wine" = 1 ]; then
  log_step "Building the x86_64 programs"
  cmake --preset windows-x64 >/dev/null
  cmake --build --preset windows-x64 -j "${BUILD_JOBS:-2}" \
    --target TarvikBrowserInstaller test_helper minimal_window ui_gallery standin_archives >/dev/null
  if selected install || selected paint; then
    cmake --preset windows-x86 >/dev/null
    cmake --build --preset windows-x86 -j "${BUILD_JOBS:-2}" --target TarvikBrowserInstaller minimal_window >/dev/null
  fi
  make_wine_prefix "$ROOT_DIR/build/windows-x64/bench-wineprefix"
  report_windows_10
  hold_wine_desktop "$BIN"
  start_standins "$STANDIN_OUT"
  trust_standin_ca "$BIN"
  trust_codesign_root "$BIN"
fi

# Runs a Windows program; prints its output once it has ended. Into a file,
# not a pipe: a process it starts may inherit the output and hold a pipe open.
wine_run() {
  "$WINE64" "$@" >"$WORK/wine.out" 2>>"$WORK/wine.err" </dev/null || true
  tr -d '\r' <"$WORK/wine.out"
}
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2"; }
win() { echo "Z:${1//\//\\}"; }

# --- download ---------------------------------------------------------------

# The stack copies every body into the prefix user's URL cache; emptied
# between runs so that runs are alike and the disk does not fill up.
clear_url_cache() {
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Microsoft/Windows/INetCache/Content.IE5/*/
}

# Best of $RUNS, in MB/s (1 MB = 2^20 bytes).
best_curl() {
  local size=$1 best=0 seconds
  for _ in $(seq "$RUNS"); do
    seconds=$(curl -s --cacert "$CA_PEM" -o "$WORK/curl.out" -w '%{time_total}' "$ORIGIN/__file/bench-$size.arc")
    cmp -s "$WORK/curl.out" "$WORK/bench-$size.arc" || { echo "curl got a different file" >&2; exit 1; }
    best=$(calc "max($best, $size / $seconds)")
  done
  rm -f "$WORK/curl.out"
  echo "$best"
}

# Best throughput of $RUNS and the largest peak working set, "MB/s bytes".
# A second argument is passed to the download command (diagnostics).
best_installer() {
  local size=$1 option=${2:-} best=0 peak=0 line ms ws
  for _ in $(seq "$RUNS"); do
    clear_url_cache
    line=$(wine_run "$BIN/test_helper.exe" download-to-file "$ORIGIN/__file/bench-$size.arc" "$(win "$WORK/wine.arc")" $option)
    [[ $line == result=ok* ]] || { echo "download failed: $line" >&2; exit 1; }
    cmp -s "$WORK/wine.arc" "$WORK/bench-$size.arc" || { echo "the downloader got a different file" >&2; exit 1; }
    ms=$(field ms "$line")
    ws=$(field peak_working_set "$line")
    best=$(calc "max($best, $size / max($ms, 1) * 1000)")
    peak=$((ws > peak ? ws : peak))
  done
  rm -f "$WORK/wine.arc"
  echo "$best $peak"
}

bench_download() {
  log_step "download: the downloader against curl ($RUNS runs each, best taken)"
  for size in 20 200; do
    head -c "$((size * 1024 * 1024))" /dev/urandom >"$WORK/bench-$size.arc"
  done
  python3 - "$WORK" <<'PY'
import sys
sys.path.insert(0, "standins")
from standin_client import StandinServer
work = sys.argv[1]
StandinServer().configure(files={"bench-%d.arc" % s: "%s/bench-%d.arc" % (work, s) for s in (20, 200)})
PY
  CA_PEM=$(dirname "$(python3 "$STANDIN_CLIENT" ca --state-dir "$TARVIK_STANDIN_DIR")")/ca.pem
  ORIGIN=https://localhost:47441
  local curl200 inst200 peak200 inst20 peak20 nocache200
  read -r curl200 < <(best_curl 200)
  read -r inst200 peak200 < <(best_installer 200)
  read -r inst20 peak20 < <(best_installer 20)
  read -r nocache200 _ < <(best_installer 200 --no-cache-write)
  clear_url_cache
  rm -f "$WORK"/bench-*.arc
  calc "'200 MB over loopback HTTPS: downloader %.1f MB/s, curl %.1f MB/s; without the stack\\'s URL-cache copy' \
    ' (diagnostics, INTERNET_FLAG_NO_CACHE_WRITE) %.1f MB/s; peak working set %.1f MB (20 MB file: %.1f MB)'
    % ($inst200, $curl200, $nocache200, $peak200 / 2**20, $peak20 / 2**20)" >&2
  row "download 200 MB, MB/s (installer's downloader / curl)" "$(calc "'%.1f' % $inst200")" \
    "$(calc "'%.1f' % $curl200")" "$(calc "'%.2f' % ($inst200 / $curl200)")"
  row "download 200 MB without URL-cache write, MB/s (diagnostics / curl)" "$(calc "'%.1f' % $nocache200")" \
    "$(calc "'%.1f' % $curl200")" "$(calc "'%.2f' % ($nocache200 / $curl200)")"
  row "downloader peak working set, MB (200 MB file / 20 MB file)" "$(calc "'%.1f' % ($peak200 / 2**20)")" \
    "$(calc "'%.1f' % ($peak20 / 2**20)")" "$(calc "'%.2f' % ($peak200 / $peak20)")"
}

# --- verify -----------------------------------------------------------------

bench_verify() {
  log_step "verify: a signed 200 MB archive, the installer's verification against sha256sum ($RUNS runs, best taken)"
  local archive=$WORK/verify-200.arc line sha
  python3 scripts/lib/bench_archive.py --setup "$STANDIN_OUT/browser-setup-unsigned.arc" \
    --codesign tools/trust/test_codesign --size-mb 200 --out "$archive"
  cat "$archive" >/dev/null  # both read it from the page cache
  line=$(wine_run "$BIN/test_helper.exe" verify-module "$(win "$archive")" "$RUNS")
  [[ $line == result=ok* ]] || { echo "verification failed: $line" >&2; exit 1; }
  sha=$(python3 - "$archive" "$RUNS" <<'PY'
import subprocess, sys, time
best = None
for _ in range(int(sys.argv[2])):
    start = time.perf_counter()
    subprocess.run(["sha256sum", sys.argv[1]], check=True, stdout=subprocess.DEVNULL)
    elapsed = (time.perf_counter() - start) * 1000
    best = elapsed if best is None else min(best, elapsed)
print("%.1f" % best)
PY
)
  rm -f "$archive"
  echo "installer verification: $line; sha256sum best_ms=$sha" >&2
  local best
  best=$(field best_ms "$line")
  row "verify signed 200 MB archive, ms (full verification / sha256sum)" "$best" "$sha" \
    "$(calc "'%.2f' % ($best / $sha)")"
}

# --- paint ------------------------------------------------------------------

# First paint of the installer and the minimal window in the build folder
# $1, as rows named with the prefix $2; sets PAINT_REFERENCE_BEST. The two
# take turns, one run each per round, so that what the machine does meanwhile
# falls on both alike; each run starts a second after the last one ended, once
# the stand-ins have stopped answering the last installer (started back to
# back, each installer run but the first paid for its predecessor's downloads).
paint_rows() {
  local bin=$1 prefix=$2 round installer_runs=() reference_runs=() ib im rb rmed
  for ((round = 0; round < PAINT_RUNS; round++)); do
    installer_runs+=("$(first_paint_ms "$bin/TarvikBrowserInstaller.exe")")
    reference_runs+=("$(first_paint_ms "$bin/minimal_window.exe")")
  done
  echo "installer ($bin): ms=${installer_runs[*]}" >&2
  echo "minimal window ($bin): ms=${reference_runs[*]}" >&2
  read -r ib im < <(best_and_median "${installer_runs[@]}")
  read -r rb rmed < <(best_and_median "${reference_runs[@]}")
  row "${prefix}start to first painted window, best ms (installer / minimal window)" "$ib" "$rb" \
    "$(calc "'%.2f' % ($ib / $rb)")"
  row "${prefix}start to first painted window, median ms" "$im" "$rmed" "$(calc "'%.2f' % ($im / $rmed)")"
  PAINT_REFERENCE_BEST=$rb
}

# One run of the program $1 a second after the last ended: its milliseconds.
first_paint_ms() {
  local run
  sleep 1
  run=$(wine_run "$BIN/test_helper.exe" first-paint 1 60000 -- "$(win "$1")")
  [[ $run == best_ms=* ]] || { echo "first paint not measured ($1): '$run'" >&2; exit 1; }
  field best_ms "$run"
}

best_and_median() {
  python3 -c 'import statistics, sys; v = [float(x) for x in sys.argv[1:]]; print("%.1f %.1f" % (min(v), statistics.median(v)))' "$@"
}

bench_paint() {
  log_step "paint: process start to the first painted window ($PAINT_RUNS rounds, one run of each program per round)"
  paint_rows "$BIN" ""
  local reference_best=$PAINT_REFERENCE_BEST
  # The shipped i686 build against a 32-bit minimal window, both emulated;
  # the minimal windows' ratio is what emulation alone costs.
  paint_rows "$ROOT_DIR/build/windows-x86/bin" "i686 under emulation: "
  row "emulation's share: minimal window, best ms (i686 emulated / x86_64)" "$PAINT_REFERENCE_BEST" \
    "$reference_best" "$(calc "'%.2f' % ($PAINT_REFERENCE_BEST / $reference_best)")"
}

# --- idle -------------------------------------------------------------------

# Processor time, in ms, that the program $1 (window title $2) uses in 10 s
# while it stands idle, as the system counts it for the process (Wine
# answers GetProcessTimes for another process with zeros): from its window's
# appearance and 3 s of settling (a download it began ends) on.
idle_processor_ms() {
  local program=$1 title=$2 job pid ticks before after
  shift 2
  # Nobody at the mouse: under Wine a control that tracks the pointer's
  # leaving (a hovered button) polls the cursor every 10 ms, which Windows
  # does not.
  xdotool mousemove 0 0 >/dev/null 2>&1 || true
  "$WINE64" "$program" "$@" </dev/null >/dev/null 2>&1 &
  job=$!
  for _ in $(seq 600); do
    xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 3
  pid=$(pgrep -f "$(basename "$program" | sed 's/\./\\./g')" | head -n 1 || true)
  [ -n "$pid" ] || { echo "idle: $program is not running" >&2; exit 1; }
  ticks=$(getconf CLK_TCK)
  before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  sleep 10
  after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  "$WINE64" taskkill /F /IM "$(basename "$program")" >/dev/null 2>&1 || true
  wait "$job" 2>/dev/null || true
  calc "($after - $before) * 1000 / $ticks"
}

bench_idle() {
  log_step "idle: the first screen standing for 10 s, beside the minimal window"
  local report=$WORK/idle-paints.txt installer reference paints
  installer=$(idle_processor_ms "$BIN/TarvikBrowserInstaller.exe" '^Tarvik$' \
    "--standin-install-root=$(win "$WORK/idle/installed")")
  reference=$(idle_processor_ms "$BIN/minimal_window.exe" '^Minimal window$')
  wine_run "$BIN/ui_gallery.exe" --idle-paints=10 "--report=$(win "$report")" >/dev/null
  paints=$(field paints "$(cat "$report" 2>/dev/null)")
  [ -n "$paints" ] || { echo "idle paints not counted" >&2; exit 1; }
  echo "idle: installer ${installer} ms, minimal window ${reference} ms in 10 s; window paints=$paints" >&2
  # The aim: under 1% of one core, 100 ms in 10 s; Wine's own share shows in the minimal window.
  row "idle first screen, processor ms in 10 s (installer / minimal window; aim < 100)" "$installer" "$reference" \
    "$(calc "'%.2f' % ($installer / max($reference, 10))")"
  row "idle first screen, WM_PAINT in 10 s after the first second (aim 0)" "$paints" "0" "-"
}

# --- install ----------------------------------------------------------------

# An earlier run's installation must not make the next one find a browser
# (the bench prefix is the benchmark's own: the whole product key goes).
forget_installation() {
  local key view
  for key in 'HKCU\Software\Tarvik\TarvikBrowser' 'HKLM\Software\Tarvik\TarvikBrowser'; do
    for view in /reg:32 /reg:64; do
      "$WINE64" reg delete "$key" /f "$view" >/dev/null 2>&1 || true
    done
  done
}

# Runs the command line in file $2 with a fresh %TEMP% under run folder $1;
# prints its milliseconds (exit code 0 required).
timed_run() {
  local run=$1 command_file=$2 line
  forget_installation
  line=$(wine_run "$BIN/test_helper.exe" timed-run "$(win "$run/temp")" 240000 "$(win "$command_file")")
  [[ $line == "exit=0 "* ]] || { echo "run failed: $line" >&2; exit 1; }
  field ms "$line"
}

bench_install() {
  log_step "install: a silent installation against the stand-in setup alone ($RUNS runs each, best taken)"
  local switches run best_installer="" best_setup="" best_i686="" ms setup_copy=$WORK/setup-alone.tmp
  local shipped=$ROOT_DIR/build/windows-x86/bin/TarvikBrowserInstaller.exe
  cp "$STANDIN_OUT/browser-setup.arc" "$setup_copy"
  for number in $(seq "$RUNS"); do
    run=$WORK/install-$number
    mkdir -p "$run/temp" "$run/i686/temp"
    switches="--silent --do-not-launch-browser --standin-install-root=$(win "$run/installed")"
    switches+=" --standin-record=$(win "$run/record.jsonl")"
    # The shipped i686 build: the same installation, every instruction of
    # it emulated (setup stays the x86_64 stand-in).
    echo "$(win "$shipped") $switches" >"$run/i686/installer.cmd"
    ms=$(timed_run "$run/i686" "$run/i686/installer.cmd")
    best_i686=$(calc "min(${best_i686:-$ms}, $ms)")
    rm -rf "$run/installed" "$run/record.jsonl"
    echo "$(win "$BIN/TarvikBrowserInstaller.exe") $switches" >"$run/installer.cmd"
    ms=$(timed_run "$run" "$run/installer.cmd")
    best_installer=$(calc "min(${best_installer:-$ms}, $ms)")
    # The same setup command line, the archive started directly.
    python3 - "$run/record.jsonl" "$(win "$setup_copy")" >"$run/setup.cmd" <<'PY'
import json, sys
runs = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
setup = [r for r in runs if r.get("role") == "setup"][-1]["command_line"]
# The program part, quoted or not, gives way to the copy of the archive.
rest = setup[setup.index('"', 1) + 1:] if setup.startswith('"') else setup.partition(" ")[2]
print(sys.argv[2] + " " + rest.lstrip())
PY
    rm -rf "$run/installed"
    mkdir -p "$run/alone/temp"
    ms=$(timed_run "$run/alone" "$run/setup.cmd")
    best_setup=$(calc "min(${best_setup:-$ms}, $ms)")
    rm -rf "$run/installed"
  done
  forget_installation
  echo "setup command line (of the last run): $(cat "$WORK/install-$RUNS/setup.cmd")" >&2
  echo "silent installation best ${best_installer} ms; setup alone best ${best_setup} ms" >&2
  row "silent installation, ms (whole installer / stand-in setup alone)" "$best_installer" "$best_setup" \
    "$(calc "'%.2f' % ($best_installer / $best_setup)")"
  echo "silent installation of the shipped i686 build under emulation best ${best_i686} ms" >&2
  row "silent installation, ms (shipped i686 under qemu emulation / x86_64)" "$best_i686" "$best_installer" \
    "$(calc "'%.2f' % ($best_i686 / $best_installer)")"
}

# --- size -------------------------------------------------------------------

bench_size() {
  log_step "size: the shipped i686 executable"
  cmake --preset windows-x86 >/dev/null
  cmake --build --preset windows-x86 -j "${BUILD_JOBS:-2}" --target TarvikBrowserInstaller >/dev/null
  local exe=build/windows-x86/bin/TarvikBrowserInstaller.exe
  python3 tools/size_report.py "$exe" >&2 || true
  # Rows: the file against its budget, then each section and resource type
  # against the file.
  python3 - "$exe" >>"$ROWS" <<'PY'
import sys
sys.path.insert(0, "tools")
import pe_image
import size_report
data = open(sys.argv[1], "rb").read()
image = pe_image.PeImage(data)
kib = lambda n: "%.1f KiB" % (n / 1024)
rows = [("size: stripped executable (/ budget)", kib(len(data)), kib(size_report.DEFAULT_BUDGET),
         "%.2f" % (len(data) / size_report.DEFAULT_BUDGET))]

def add(kind, sizes):
    # Parts under 1% of the file are summed into one row.
    small = 0
    for name, size in sorted(sizes.items(), key=lambda item: -item[1]):
        if size < len(data) / 100:
            small += size
        else:
            rows.append(("size: %s %s (/ file)" % (kind, name), kib(size), kib(len(data)), "%.2f" % (size / len(data))))
    if small:
        rows.append(("size: %s, the rest (/ file)" % kind, kib(small), kib(len(data)), "%.2f" % (small / len(data))))


add("section", {section.name: section.raw_size for section in image.sections})
groups = {}
for resource in image.resources():
    groups[resource.type_name] = groups.get(resource.type_name, 0) + resource.size
add("resources", groups)
for r in rows:
    print("\t".join(r))
PY
}

START=$(date +%s)
for part in "${ALL_PARTS[@]}"; do
  selected "$part" && "bench_$part"
done

echo
echo "Benchmarks ($(date -u +%Y-%m-%d), $(nproc) cores, $(( $(date +%s) - START )) s; ratio = installer / reference):"
echo
python3 - "$ROWS" <<'PY'
import sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
header = ["measure", "installer", "reference", "ratio"]
widths = [max(len(r[i]) for r in rows + [header]) for i in range(4)]
def line(cells):
    return "| " + " | ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(cells, widths))) + " |"
print(line(header))
print("|" + "|".join("-" * (w + 1) + (":" if i else "-") for i, w in enumerate(widths)) + "|")
for r in rows:
    print(line(r))
PY
