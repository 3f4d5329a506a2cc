#!/usr/bin/env bash
# Times every workload of bench/ in QOB, VBScript and JScript under Wine in
# one run and prints a Markdown table. Each script runs RUNS times (default
# 5, or the first argument), each run followed by one of the language's
# empty program, so that the machine's drift over the minutes of a run
# weighs on both alike; a language's work time is the median wall time of
# the workload minus the median of the empty runs beside it. The three
# versions of a workload must print the same checksum, else the run fails;
# a version that fails or outlives the time limit is not run again and
# shows as "failed".
#
# usage: bench/run.sh [RUNS] [WORKLOAD...]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
runs=${1:-5}
shift 2>/dev/null || true
workloads=("$@")
if ((${#workloads[@]} == 0)); then
    for script in bench/*.qob; do
        name=$(basename "$script" .qob)
        # Only workloads written in all three languages enter the table.
        [[ $name == empty || ! -f bench/$name.vbs || ! -f bench/$name.js ]] && continue
        workloads+=("$name")
    done
fi

./qob --version >/dev/null || exit 2  # builds what is missing, outside the timing
# shellcheck source=scripts/wine-env
source "$root/scripts/wine-env"
trap_wine_session
start_shared_session || exit 2
cscript=$WINEPREFIX/drive_c/windows/system32/cscript.exe
have_cscript=1
[[ -f $cscript ]] || { have_cscript=0; echo "run.sh: no cscript.exe in the prefix; QOB only" >&2; }

# A run that takes longer than this many seconds (BENCH_TIMEOUT, default
# 120) is stopped: its checksum then fails to match and the table still comes out.
limit=${BENCH_TIMEOUT:-120}
out_file=$root/build/.bench-output

# run LANG NAME: prints "MILLISECONDS CHECKSUM" for one run.
run_once() {
    local output start end
    # Into a file, not a pipe: a stopped run's Windows child may keep a
    # pipe open long after it.
    start=$(date +%s%N)
    case $1 in
        qob) timeout "$limit" ./qob "bench/$2.qob" >"$out_file" 2>&1 ;;
        vbs | js) timeout "$limit" scripts/wine-run cscript.exe //nologo "bench/$2.$1" >"$out_file" 2>&1 ;;
    esac
    end=$(date +%s%N)
    output=$(<"$out_file")
    output=${output//$'\r'/}
    printf '%d %s\n' $(((end - start) / 1000000)) "${output//$'\n'/ }"
}

# median: the middle of the numbers on standard input.
median() { sort -n | sed -n "$(((runs + 1) / 2))p"; }

# measure LANG NAME: runs the workload and an empty program in turn, RUNS
# times; the work time in ms into $work_ms and the workload's output into
# $checksum. A run whose output differs from the first one's ends the
# measuring: $work_ms is then empty.
measure() {
    local times=() empties=() i line first=
    work_ms=
    for ((i = 0; i < runs; i++)); do
        line=$(run_once "$1" "$2")
        checksum=${line#* }
        [[ -z $first ]] && first=$checksum
        [[ $checksum == "$first" && -n $checksum ]] || return
        [[ $1 != qob && $checksum != "${sums[qob.$2]}" ]] && return
        times+=("${line%% *}")
        line=$(run_once "$1" empty)
        empties+=("${line%% *}")
    done
    work_ms=$(($(printf '%s\n' "${times[@]}" | median) - $(printf '%s\n' "${empties[@]}" | median)))
    empty_ms[$1]+="${empties[*]} "
}

languages=(qob)
((have_cscript)) && languages+=(vbs js)
declare -A empty_ms work sums
status=0
for name in "${workloads[@]}"; do
    for lang in "${languages[@]}"; do
        measure "$lang" "$name"
        work[$lang.$name]=$work_ms
        sums[$lang.$name]=$checksum
    done
    for lang in "${languages[@]}"; do
        if [[ -z ${work[$lang.$name]} ]]; then
            echo "run.sh: $name: $lang printed '${sums[$lang.$name]}', QOB '${sums[qob.$name]}'" >&2
            status=1
        fi
    done
done
declare -A empty
for lang in "${languages[@]}"; do
    empty[$lang]=$(printf '%s\n' ${empty_ms[$lang]} | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
done

seconds() { [[ -n $1 ]] && awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }' || printf 'failed'; }
ratio() { [[ -n $1 && -n $2 ]] && (($2 > 0)) && awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }' || printf 'n/a'; }
echo "Median of $runs runs, each beside a run of the empty program; work time = the workload's median minus the empty program's (s)."
echo
if ((have_cscript)); then
    echo "| workload | VBScript | JScript | QOB | QOB/JScript | QOB/VBScript | checksum |"
    echo "|---|---:|---:|---:|---:|---:|---|"
    printf '| empty program (wall) | %s | %s | %s | | | |\n' \
        "$(seconds "${empty[vbs]}")" "$(seconds "${empty[js]}")" "$(seconds "${empty[qob]}")"
    for name in "${workloads[@]}"; do
        q=${work[qob.$name]} v=${work[vbs.$name]} j=${work[js.$name]}
        printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$name" "$(seconds "$v")" "$(seconds "$j")" \
            "$(seconds "$q")" "$(ratio "$q" "$j")" "$(ratio "$q" "$v")" "${sums[qob.$name]}"
    done
else
    echo "| workload | QOB | checksum |"
    echo "|---|---:|---|"
    printf '| empty program (wall) | %s | |\n' "$(seconds "${empty[qob]}")"
    for name in "${workloads[@]}"; do
        printf '| %s | %s | %s |\n' "$name" "$(seconds "${work[qob.$name]}")" "${sums[qob.$name]}"
    done
fi
exit $status
