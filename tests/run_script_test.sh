#!/usr/bin/env bash
# Runs one QOB test script through qob.exe under Wine and compares what it
# produced with the expectations written in its comments:
#
#   ; expect: TEXT            the next line of standard output; every line
#                             the script writes must be expected, in order
#   ; expect-stderr: TEXT     the next line of standard error other than the
#                             error line
#   ; expect-error: FILE(LINE): error NUMBER[: MESSAGE]
#                             the one error line; FILE is compared by its
#                             base name, MESSAGE only when given; * matches
#                             any text (a line that is not known exactly)
#   ; expect-exit: N          the exit status (default: 1 with expect-error,
#                             else 0)
#   ; args: ARG...            the script's parameters, quoted as in a shell;
#                             {work} stands for a new empty directory, removed
#                             after the run, for the files a script writes
#   ; runner-args: ARG...     options for the runner itself, before the script
#   ; expect-log: PATTERN     run with "--log=" into a new file; the next line
#                             of that file must match PATTERN (* matches any
#                             text, as for a date)
#   ; stdin: TEXT             one line of standard input (a line "; stdin:"
#                             with nothing after it gives an empty line)
#   ; stdin-end: TEXT         the last piece of input, without a line end
#   ; interrupt-after: SECS   send Ctrl+C (SIGINT) that many seconds after the
#                             script's first line of output
#   ; start: PROGRAM ARG...   a program started under Wine before the script
#                             (quoted as for args; {work} as there, {bin}
#                             for the runner's directory) and killed after
#                             it, even when the test fails; the script waits
#                             for its window itself
#   ; skip: REASON            do not run; reported as skipped
#   ; expect-trace: FILE      run with "--trace" into a new file and compare it
#                             with FILE (beside the script) after masking: the
#                             header block becomes "<header>", the settings
#                             file's dump "<settings>", elapsed times "(T)" and
#                             buffer offsets, which move with the length of
#                             the script's path, "<offset>"
#
# A directive is a comment of its own line or the end of a statement's line
# ("StdOut(1) ; expect: 1"). The script runs in its own directory, so that
# relative #include names resolve there.
#
# usage: run_script_test.sh QOB_EXE SCRIPT
# environment: WINE_RUN (default scripts/wine-run), QOB_SCRIPT_TIMEOUT
# (seconds, default 60). Exit status 0 pass, 1 fail, 77 skipped.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine_run=${WINE_RUN:-$root/scripts/wine-run}
limit=${QOB_SCRIPT_TIMEOUT:-60}

(($# == 2)) || { echo "usage: run_script_test.sh QOB_EXE SCRIPT" >&2; exit 2; }
# Absolute paths: the run happens in the script's directory.
absolute() { [[ $1 == /* ]] && printf '%s' "$1" || printf '%s/%s' "$PWD" "$1"; }
qob=$(absolute "$1")
script=$(absolute "$2")
name=${script#"$root/tests/scripts/"}
[[ -f $script ]] || { echo "$name: no such script" >&2; exit 1; }
[[ -f $qob ]] || { echo "$name: no runner at $qob" >&2; exit 1; }

failures=0
fail() {
    echo "$name: $*" >&2
    failures=$((failures + 1))
}

# ---------------------------------------------------------------- directives

expect_out=()
expect_err=()
expect_error=
expect_exit=
args_text=
runner_args_text=
expect_log=()
stdin_lines=()
stdin_end=
has_stdin=0
interrupt_after=
skip=
expect_trace=
starts=()

# The text after "; NAME:" on a line, one blank after the colon dropped.
directive() {
    local line=$1 key=$2 rest
    [[ $line == *"; $key:"* ]] || return 1
    rest=${line#*"; $key:"}
    rest=${rest# }
    printf '%s' "$rest"
}

while IFS= read -r line || [[ -n $line ]]; do
    line=${line%$'\r'}
    [[ $line == *";"* ]] || continue
    if value=$(directive "$line" expect); then expect_out+=("$value")
    elif value=$(directive "$line" expect-stderr); then expect_err+=("$value")
    elif value=$(directive "$line" expect-error); then expect_error=$value
    elif value=$(directive "$line" expect-exit); then expect_exit=$value
    elif value=$(directive "$line" args); then args_text=$value
    elif value=$(directive "$line" runner-args); then runner_args_text=$value
    elif value=$(directive "$line" expect-log); then expect_log+=("$value")
    elif value=$(directive "$line" stdin); then stdin_lines+=("$value"); has_stdin=1
    elif value=$(directive "$line" stdin-end); then stdin_end=$value; has_stdin=1
    elif value=$(directive "$line" interrupt-after); then interrupt_after=$value
    elif value=$(directive "$line" skip); then skip=$value
    elif value=$(directive "$line" start); then starts+=("$value")
    elif value=$(directive "$line" expect-trace); then expect_trace=$value
    fi
done <"$script"

if [[ -n $skip ]]; then
    echo "$name: skipped: $skip"
    exit 77
fi
[[ -n $expect_exit ]] || { [[ -n $expect_error ]] && expect_exit=1 || expect_exit=0; }

# Parameters are written as a shell would take them: quotes group, and a
# backslash escapes.
runner_args=()
if [[ -n $runner_args_text ]]; then
    eval "runner_args=($runner_args_text)" || { echo "$name: cannot read the runner-args line" >&2; exit 1; }
fi

# ---------------------------------------------------------------- the run

work=$(mktemp -d)
started=()
# Each started program leads a process group of its own, so that killing
# the group also ends what Wine started for it.
clean_up() {
    local group
    for group in "${started[@]}"; do kill -KILL -- "-$group" 2>/dev/null; done
    rm -rf "$work"
}
trap clean_up EXIT
mkdir "$work/files"
args=()
if [[ -n $args_text ]]; then
    eval "args=($args_text)" || { echo "$name: cannot read the args line" >&2; exit 1; }
    args=("${args[@]//\{work\}/$work/files}")
fi
input=/dev/null
if ((has_stdin)); then
    input=$work/stdin
    : >"$input"
    for line in "${stdin_lines[@]}"; do printf '%s\n' "$line" >>"$input"; done
    printf '%s' "$stdin_end" >>"$input"
fi

# Output goes to files, not pipes: Wine's session processes may keep a
# pipe open long after the program ended.
cd "$(dirname "$script")" || exit 1
for text in "${starts[@]}"; do
    program=()
    eval "program=($text)" || { echo "$name: cannot read the start line" >&2; exit 1; }
    program=("${program[@]//\{work\}/$work/files}")
    program=("${program[@]//\{bin\}/$(dirname "$qob")}")
    setsid "$wine_run" "${program[@]}" </dev/null >/dev/null 2>&1 &
    started+=($!)
    disown
done
trace_options=()
[[ -n $expect_trace ]] && trace_options=(--trace "$work/trace.txt")
((${#expect_log[@]})) && trace_options+=("--log=$work/log.txt")
timeout -s KILL "$limit" "$wine_run" "$qob" "${runner_args[@]}" "${trace_options[@]}" "$(basename "$script")" "${args[@]}" \
    <"$input" >"$work/stdout" 2>"$work/stderr" &
runner=$!
if [[ -n $interrupt_after ]]; then
    # Counted from the script's first output, not from the start: Wine's
    # start-up takes seconds more on a busy machine.
    while kill -0 "$runner" 2>/dev/null && [[ ! -s $work/stdout ]]; do sleep 0.1; done
    sleep "$interrupt_after"
    # timeout passes SIGINT on to Wine, which raises Ctrl+C in the program.
    kill -INT "$runner" 2>/dev/null
fi
wait "$runner"
status=$?
((status == 137)) && fail "did not finish within ${limit}s"

# ---------------------------------------------------------------- comparison

mapfile -t out_lines < <(tr -d '\r' <"$work/stdout")
mapfile -t err_lines < <(tr -d '\r' <"$work/stderr")

compare_lines() {
    local what=$1 expected_name=$2 actual_name=$3
    local -n expected=$expected_name actual=$actual_name
    local i n=$((${#expected[@]} > ${#actual[@]} ? ${#expected[@]} : ${#actual[@]}))
    for ((i = 0; i < n; i++)); do
        if ((i >= ${#actual[@]})); then
            fail "$what line $((i + 1)): expected '${expected[i]}', got nothing"
        elif ((i >= ${#expected[@]})); then
            fail "$what line $((i + 1)): unexpected '${actual[i]}'"
        elif [[ ${expected[i]} != "${actual[i]}" ]]; then
            fail "$what line $((i + 1)): expected '${expected[i]}', got '${actual[i]}'"
        fi
    done
}

# Error lines apart from the other standard-error lines, with FILE reduced
# to its base name.
error_lines=()
other_err=()
pattern='^(.*)(\([0-9]+\): error [0-9]+:.*)$'
for line in "${err_lines[@]}"; do
    if [[ $line =~ $pattern ]]; then
        file=${BASH_REMATCH[1]//\\//}
        error_lines+=("${file##*/}${BASH_REMATCH[2]}")
    else
        other_err+=("$line")
    fi
done

compare_lines "stdout" expect_out out_lines
compare_lines "stderr" expect_err other_err

if [[ -n $expect_error ]]; then
    if ((${#error_lines[@]} != 1)); then
        fail "expected one error line '$expect_error', got ${#error_lines[@]}: ${error_lines[*]}"
    # Unquoted on the right: a pattern, so that * matches.
    elif [[ ${error_lines[0]} != $expect_error && ${error_lines[0]} != $expect_error:* ]]; then
        fail "error line: expected '$expect_error', got '${error_lines[0]}'"
    fi
elif ((${#error_lines[@]})); then
    fail "unexpected error line '${error_lines[0]}'"
fi

((status == expect_exit)) || fail "exit status: expected $expect_exit, got $status"

if ((${#expect_log[@]})); then
    log_lines=()
    [[ -f $work/log.txt ]] && mapfile -t log_lines < <(tr -d '\r' <"$work/log.txt")
    for i in "${!expect_log[@]}"; do
        # Unquoted on the right: a pattern, so that * matches.
        # shellcheck disable=SC2053
        [[ ${log_lines[i]-} == ${expect_log[i]} ]] ||
            fail "log line $((i + 1)): expected '${expect_log[i]}', got '${log_lines[i]-<nothing>}'"
    done
    ((${#log_lines[@]} <= ${#expect_log[@]})) ||
        fail "log line $((${#expect_log[@]} + 1)): unexpected '${log_lines[${#expect_log[@]}]}'"
fi

# The parts of a trace that differ from run to run and machine to machine.
mask_trace() {
    tr -d '\r' | sed -E \
        -e '/^==============================$/,/^==============================$/c\<header>' \
        -e '/^---------- Begin ORLUNDEX.INI dump/,/^----------- End ORLUNDEX.INI dump/c\<settings>' \
        -e 's/^\([0-9]+\) /(T) /' -e 's/^--- \([0-9]+\) /--- (T) /' \
        -e 's/^(tqerrorhandleroffset +)[0-9]+$/\1<offset>/'
}

if [[ -n $expect_trace ]]; then
    if [[ ! -f $work/trace.txt ]]; then
        fail "no trace file was written"
    else
        mapfile -t trace_expected < <(tr -d '\r' <"$expect_trace")
        mapfile -t trace_actual < <(mask_trace <"$work/trace.txt")
        # Paths of the script's directory as the engine sees it through
        # Wine's drive Z: (the Windows form of the Linux path).
        script_dir=$(dirname "$script")
        windows_dir="Z:${script_dir//\//\\}"
        for i in "${!trace_actual[@]}"; do
            trace_actual[i]=${trace_actual[i]//"$windows_dir"/<dir>}
        done
        compare_lines "trace" trace_expected trace_actual
    fi
fi

if ((failures)); then
    echo "$name: FAILED ($failures mismatches)" >&2
    exit 1
fi
echo "$name: passed"
