#!/usr/bin/env bash
# Measures start-up: the wall time of a warm "./qob bench/empty.qob" (the
# median of RUNS runs, default 5, after one warm-up run that also builds
# what is missing and starts the shared display and Wine server), then the
# engine's own start-up as qob.exe --timing reports it (medians over the
# same number of runs): process creation to main, DLL load, engine init
# (the initialisation requests) and the run of the empty script. The
# machine's load is printed beside them, since both move with it.
#
# usage: bench/startup.sh [RUNS]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
runs=${1:-5}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "usage: bench/startup.sh [RUNS]" >&2; exit 2; }

./qob bench/empty.qob || { echo "startup.sh: the warm-up run failed" >&2; exit 2; }

# median: the middle of the numbers on standard input.
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR) printf "%.1f", v[int((NR + 1) / 2)] }'; }

walls=() timings=()
for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    ./qob bench/empty.qob || { echo "startup.sh: run $((i + 1)) failed" >&2; exit 1; }
    end=$EPOCHREALTIME
    walls+=("$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", (e - s) * 1000 }')")
done
for ((i = 0; i < runs; i++)); do
    # "qob: timing: process start to main A ms, DLL load B ms, engine init C ms, script run D ms"
    line=$(./qob --timing bench/empty.qob 2>&1 >/dev/null | grep '^qob: timing:') ||
        { echo "startup.sh: no timing line from qob.exe" >&2; exit 1; }
    timings+=("$(sed -E 's/[^0-9.]+/ /g' <<<"${line#qob: timing:}")")
done

column() { printf '%s\n' "${timings[@]}" | awk -v c="$1" '{ print $c }' | median; }
read -r load1 _ </proc/loadavg
printf 'machine load (1 min): %s on %s cores; %d runs each\n' "$load1" "$(nproc)" "$runs"
printf 'warm ./qob bench/empty.qob: median %s ms (runs: %s)\n' \
    "$(printf '%s\n' "${walls[@]}" | median)" "${walls[*]}"
printf 'qob.exe: process start to main %s ms, DLL load %s ms, engine init %s ms, empty run %s ms\n' \
    "$(column 1)" "$(column 2)" "$(column 3)" "$(column 4)"
printf 'engine init from DLL load to the end of the initialisation: %s ms\n' \
    "$(printf '%s\n' "${timings[@]}" | awk '{ print $2 + $3 }' | median)"
