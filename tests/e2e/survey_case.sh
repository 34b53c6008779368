#!/usr/bin/env bash
# Runs one survey case (a folder under survey_cases) in a temporary folder
# and compares what the run wrote with what the case expects. The survey
# has no banner and writes its bytes untranslated on every platform.
#
# A case folder holds:
#   setup       bash commands that write the input files (optional)
#   args        the arguments, one a line
#   stdin       what standard input holds (optional: nothing)
#   status      the exit status
#   stderr      what standard error must hold (optional: nothing)
#   stderr_pattern
#               instead of stderr, one extended regular expression a line
#               that each line of standard error must match, in order
#   stdout      what standard output must hold (optional: not compared)
#   lines.json  a JSON array with one object per line that standard output
#               must hold, each naming some of the line's keys and values;
#               every line is also checked for every key, in order
#   check       bash commands run after the run, in its folder, with
#               $program and "${runner[@]}" at hand; failing fails the case
#   posix_only  present when the case needs what Windows has not
# KORVALEN_RUNNER: see runner.sh.
set -u
program=$(realpath "$1")
case_dir=$(realpath "$2")
here=$(dirname "$(realpath "$0")")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

if [ -f "$case_dir/setup" ]; then
    bash -e "$case_dir/setup" || { echo "setup failed"; exit 1; }
fi
source "$here/runner.sh"
mapfile -t arguments < "$case_dir/args"
input=/dev/null
[ -f "$case_dir/stdin" ] && input="$case_dir/stdin"

"${runner[@]}" "$program" "${arguments[@]}" < "$input" > actual.stdout 2> actual.stderr
echo $? > actual.status

failed=0
compare() {
    if ! cmp -s "$1" "$2"; then
        echo "== $3 differs (expected, then actual, as cat -A shows them):"
        diff <(cat -A "$1") <(cat -A "$2") | head -40
        failed=1
    fi
}
compare "$case_dir/status" actual.status "exit status"
if [ -f "$case_dir/stderr_pattern" ]; then
    mapfile -t patterns < "$case_dir/stderr_pattern"
    mapfile -t lines < actual.stderr
    matched=$(( ${#patterns[@]} == ${#lines[@]} ))
    for i in "${!patterns[@]}"; do
        [[ "${lines[i]-}" =~ ^${patterns[i]}$ ]] || matched=0
    done
    [ "$matched" = 1 ] || { echo "== standard error does not match its patterns:"; head -c 2000 actual.stderr; failed=1; }
else
    expected_stderr=/dev/null
    [ -f "$case_dir/stderr" ] && expected_stderr="$case_dir/stderr"
    compare "$expected_stderr" actual.stderr "standard error"
fi
[ -f "$case_dir/stdout" ] && compare "$case_dir/stdout" actual.stdout "standard output"
if [ -f "$case_dir/lines.json" ]; then
    if ! command -v python3 > /dev/null; then
        echo "python3 is missing: the JSON lines cannot be checked"
        exit 77
    fi
    python3 "$here/survey_json_lines.py" "$case_dir/lines.json" actual.stdout || failed=1
fi
if [ -f "$case_dir/check" ]; then
    (source "$case_dir/check") || { echo "== the case's check failed"; failed=1; }
fi
exit $failed
