#!/usr/bin/env bash
# Builds the Win64 and Win32 engines, checks their exports and runs the tests
# under Wine. Exits non-zero when any step failed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$root" || exit 1
jobs=$(nproc 2>/dev/null || echo 2)
test_jobs=${QOB_TEST_JOBS:-2}
failures=()

step() { echo "== test.sh: $*"; }
fail() { failures+=("$1"); echo "== test.sh: FAILED: $1"; }

scripts/setup || { echo "== test.sh: FAILED: setup"; exit 1; }

# Returns 0 when the preset configured and built.
build_preset() {
    local preset=$1
    step "configuring $preset"
    cmake --preset "$preset" || { fail "configure $preset"; return 1; }
    step "building $preset"
    cmake --build --preset "$preset" -j"$jobs" || { fail "build $preset"; return 1; }
}

built64=0
build_preset win64 && built64=1
# The 32-bit build is compiled and its exports checked; CTest runs only the
# 64-bit tests, as the project's Wine has no 32-bit loader.
if build_preset win32; then
    step "checking the exports of the win32 DLL"
    scripts/check-exports build/win32/bin/KESTR44I.DLL || fail "exports win32"
fi

if ((built64)); then
    # shellcheck source=scripts/wine-env
    source scripts/wine-env
    trap_wine_session
    start_shared_session || fail "start the X display"
    step "running the win64 tests under Wine (DISPLAY=${DISPLAY:-none})"
    # No retries: every Wine run sends its output through files (see
    # scripts/wine-run-captured), so a desktop process that outlives a test
    # cannot hold CTest's pipe open and turn a pass into a timeout.
    run_child ctest --preset win64 -j"$test_jobs" || fail "ctest win64"
    stop_wine_session
fi

if ((${#failures[@]})); then
    echo "== test.sh: ${#failures[@]} step(s) failed: ${failures[*]}"
    exit 1
fi
echo "== test.sh: all steps passed"
