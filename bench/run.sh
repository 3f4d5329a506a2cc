#!/usr/bin/env bash
# Times each benchmark script through ./qob (best of three wall-clock runs).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
./qob --version >/dev/null  # builds what is missing, outside the timing
# Only the benchmarks that are there: none at all is no failure.
shopt -s nullglob
for script in bench/*.qob; do
    [[ -f $script ]] || continue
    best=0
    for _ in 1 2 3; do
        start=$(date +%s%N)
        ./qob "$script" >/dev/null
        elapsed=$((($(date +%s%N) - start) / 1000000))
        ((best == 0 || elapsed < best)) && best=$elapsed
    done
    printf '%-24s %6d ms\n' "$(basename "$script")" "$best"
done
