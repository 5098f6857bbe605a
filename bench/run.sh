#!/usr/bin/env bash
# Builds the "bench" preset and measures the launcher, side by side with the reference programs
# in the same run, on a private Xvfb server. Prints the table and, when every figure ran,
# writes it with the machine's description and all samples to bench/RESULTS.md, keeping the
# hand-written part of that file (from "## What each change bought" to "## Samples").
#
#   bench/run.sh [--no-build] [--no-write] [figure ...]
#
# Figures: translate startup idle toolstart update (default: all).
# Environment: CORVANE_BENCH_RUNS (21 rounds), CORVANE_BENCH_WARMUP (2),
# CORVANE_BENCH_IDLE_RUNS (21 rounds of 11 s).
# Needs: cmake, ninja, Qt 6, libbenchmark-dev, libx11-dev, Xvfb, dbus-daemon, libXtst (which
# xdotool brings).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
write=1
figures=()
for argument in "$@"; do
    case "$argument" in
    --no-build) build=0 ;;
    --no-write) write=0 ;;
    -h | --help)
        sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *) figures+=("$argument") ;;
    esac
done
all_figures=(translate startup idle toolstart update)
((${#figures[@]})) || figures=("${all_figures[@]}")
[ "${figures[*]}" = "${all_figures[*]}" ] || write=0

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
runs=${CORVANE_BENCH_RUNS:-21}
warmup=${CORVANE_BENCH_WARMUP:-2}
idle_runs=${CORVANE_BENCH_IDLE_RUNS:-21}

for tool in cmake Xvfb dbus-daemon; do
    command -v "$tool" >/dev/null || {
        echo "bench/run.sh: $tool is not installed (see bench/README.md)" >&2
        exit 1
    }
done

if ((build)); then
    cmake --preset bench >/dev/null
    cmake --build --preset bench
fi
out=$root/build/bench
bin=$out/bench
for program in "$out/program/corvane" "$bin/corvane_reference" "$bin/corvane_reference_controls" \
    "$bin/corvane_probe" "$bin/corvane_stamp" "$bin/corvane_makelng" \
    "$bin/corvane_bench_translate"; do
    [ -x "$program" ] || {
        echo "bench/run.sh: $program is missing; build the bench preset" >&2
        exit 1
    }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-bench.XXXXXX")
# The runtime folders (lock file and socket) on tmpfs, as /run/user is on a desktop.
runtime=$scratch
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    runtime=$(mktemp -d /dev/shm/corvane-bench.XXXXXX)
fi
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch" "$runtime"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# A private program folder, shaped like an installed one: the launcher, a complete language
# file, the help file and the tools, each tool being the stamp program that notes its exec.
program=$scratch/program
mkdir -p "$program" "$scratch/work"
cp "$out/program/corvane" "$out/program/libcorvane_http.so" "$program/"
"$bin/corvane_makelng" "$program/english.lng"
: >"$program/corvane.chm"
for tool in files_writer tunes_writer songs_writer movie_writer image_writer disc_ripper \
    image_builder media_wiper media_inspector disc_duplicator session_extractor parallel_writer; do
    cp "$bin/corvane_stamp" "$program/$tool.exe"
done

# The X server: wide enough that the launcher (centred) and the references (top left, top
# right) do not overlap.
exec 3>"$scratch/display"
Xvfb -noreset -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
[ -s "$scratch/display" ] || {
    echo "bench/run.sh: Xvfb did not start" >&2
    exit 1
}
export DISPLAY=":$(head -n 1 "$scratch/display")"
unset WAYLAND_DISPLAY

# A session bus of its own, as a desktop has one: without any, every Qt program's start forks
# itself to look for dbus-launch, which would weigh on every figure alike and blur the ratios.
bus=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1)
pids+=("$(sed -n 2p <<<"$bus")")
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 <<<"$bus")

rows=$scratch/rows
log=$scratch/samples
: >"$rows"
: >"$log"

probe() {
    local figure=$1
    shift
    echo "== $figure" >&2
    echo "## $figure" >>"$log"
    "$bin/corvane_probe" "$figure" --ours "$program/corvane" --reference "$bin/corvane_reference" \
        --controls "$bin/corvane_reference_controls" --stamp "$bin/corvane_stamp" \
        --work "$scratch/work" --runtime "$runtime" "$@" >>"$rows" 2>>"$log"
    rm -rf "${scratch:?}/work/"run-* "${runtime:?}/"runtime-*
}

translate() {
    echo "== translate" >&2
    echo "## translate" >>"$log"
    local csv=$scratch/translate.csv
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime \
        "$bin/corvane_bench_translate" --benchmark_out="$csv" \
        --benchmark_out_format=csv >>"$log" 2>&1
    # Median real time of a benchmark, in the unit it reports.
    median_of() {
        awk -F, -v name="$1" 'index($1, "\"" name "/") == 1 && $1 ~ /_median"$/ {
            printf "%.3f %s", $3, $5 }' "$csv"
    }
    local lookups one find qdir read form
    lookups=$(median_of BM_MainWindowLookups)
    one=$(median_of BM_OneLookup)
    find=$(median_of BM_FindLanguageFile)
    qdir=$(median_of BM_FindLanguageFileWithQDir)
    read=$(median_of BM_ReadOneText)
    form=$(median_of BM_TranslateMainForm)
    local value=${lookups%% *}
    local met=no
    awk -v v="$value" 'BEGIN { exit !(v <= 2.0) }' && met=yes
    printf 'ROW\t%s\t%s\t%s\t%s\t%s\t%s\n' "translation of the main window (44 lookups)" \
        "$lookups" "-" \
        "one lookup $one (finding the file $find, with QDir it would be $qdir; reading the text $read); with the controls $form" \
        "≤ 2 ms" "$met" >>"$rows"
}

for figure in "${figures[@]}"; do
    case "$figure" in
    translate) translate ;;
    startup | toolstart | update) probe "$figure" --runs "$runs" --warmup "$warmup" ;;
    idle) probe idle --runs "$idle_runs" --warmup 0 ;;
    *)
        echo "bench/run.sh: unknown figure $figure" >&2
        exit 1
        ;;
    esac
done

table() {
    echo "| figure | ours | reference | ratio or difference | target | met? |"
    echo "|---|---|---|---|---|---|"
    awk -F'\t' '$1 == "ROW" { printf "| %s | %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6, $7 }' \
        "$rows"
}

cp "$log" "$out/bench-samples.log"
echo
table
echo
echo "Samples: $out/bench-samples.log"
if ((write)); then
    cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
    cores=$(nproc)
    memory=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
    qt=$(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo unknown)
    results=$root/bench/RESULTS.md
    # Taken before RESULTS.md is rewritten, which is no change of what was measured.
    commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
    git diff --quiet HEAD -- . ':!bench/RESULTS.md' 2>/dev/null ||
        commit="$commit with local changes"
    # The hand-written part, which no run can produce, is kept as it is.
    kept=$scratch/kept
    if [ -f "$results" ]; then
        awk '/^## What each change bought/ { keep = 1 } /^## Samples/ { keep = 0 } keep' \
            "$results" >"$kept"
    fi
    [ -s "$kept" ] || printf '## What each change bought\n\n(Not written yet.)\n\n' >"$kept"
    {
        echo "# Benchmark results"
        echo
        echo "The latest run of \`bench/run.sh\`; see README.md for what each figure means and how"
        echo "it is taken. Each figure is the median, with the range in brackets, of $runs rounds"
        echo "after $warmup warm-up rounds (idle cost: $idle_runs rounds of 11 s); in every round"
        echo "the launcher and the references ran one after the other, each in every place of the"
        echo "order equally often. A paired ratio or difference is taken within each round, then"
        echo "its median."
        echo
        echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
        echo "- CPU: $cpu, $cores cores, $memory memory"
        echo "- System: $(uname -sr), Qt $qt, Xvfb without a window manager"
        echo "- Load average before the run: $load_before"
        echo "- Build: the \"bench\" preset (RelWithDebInfo), commit $commit"
        echo
        table
        echo
        cat "$kept"
        echo "## Samples"
        echo
        echo '```'
        cat "$log"
        echo '```'
    } >"$results"
    echo
    echo "Written to bench/RESULTS.md"
fi
