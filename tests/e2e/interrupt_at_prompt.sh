#!/usr/bin/env bash
# A signal while korvalen waits at a prompt, with standard input a pipe that
# stays open. Ctrl+C ends the run by exiting with status 2 (not by dying of
# the signal), and a redirected file holds the whole field report; when
# standard output cannot be written, the run says so and ends with status 4
# all the same. A run ended by SIGTERM, which korvalen does not catch, still
# leaves the report it had finished.
set -u
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
cases=$here/cases
work=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$work"' EXIT
cd "$work" || exit 1

source "$here/runner.sh"
source "$here/watch_process.sh"
failed=0
fail() {
    echo "$*"
    failed=1
}

waits_at_prompt() { # process, prompt
    if [ -n "${KORVALEN_RUNNER:-}" ]; then
        reads_from "$1" keys
    else
        grep -q "$2" err 2>/dev/null
    fi
}

# Runs a case folder's setup and arguments with standard output sent to
# $4 ("closed" for none), waits for prompt $2, sends signal $3 and waits for
# the end. Sets status.
signal_at_prompt() {
    local case_dir=$cases/$1 prompt=$2 signal=$3 output=$4
    bash -e "$(case_file "$case_dir" setup)"
    local arguments=()
    mapfile -t arguments < "$case_dir/args"
    # The last case's standard error holds a prompt too: gone, it cannot
    # pass for this run's before this run has written any.
    rm -f keys err && mkfifo keys
    exec 3<>keys
    if [ "$output" = closed ]; then
        "${runner[@]}" "$program" "${arguments[@]}" < keys >&- 2> err 3>&- &
    else
        "${runner[@]}" "$program" "${arguments[@]}" < keys > "$output" 2> err 3>&- &
    fi
    local pid=$!
    wait_until waits_at_prompt $pid "$prompt" || fail "$1: never waited at its prompt"
    kill -s "$signal" "$pid"
    wait_for_end $pid
    exec 3>&-
}
expect_status() { # what, expected
    [ "$status" = "$2" ] || fail "$1: status $status, expected $2"
}
expect_report() { # what, case folder
    as_written "$(case_file "$cases/$2" stdout)" > expected
    cmp -s expected out || fail "$1: the redirected field report is not complete"
}
# The emulated runtime loses the reason of a failed write; its message
# then gives another one.
expect_output_failure() { # what, reason
    local last reason=$2
    last=$(tr -d '\r' < err | tail -n 1)
    [ -n "${KORVALEN_RUNNER:-}" ] && reason='*'
    # shellcheck disable=SC2053
    [[ $last == "korvalen: can't write standard output: "$reason ]] ||
        fail "$1: last line of standard error is '$last', expected the reason '$2'"
}

lines=crlf_lines_default_limit
lines_prompt="hit return to continue"
signal_at_prompt $lines "$lines_prompt" INT out
expect_status "Ctrl+C at the line-end prompt" 2
expect_report "Ctrl+C at the line-end prompt" $lines

signal_at_prompt id_records_return_shows_next "hit return to see next" INT out
expect_status "Ctrl+C at the length prompt" 2
expect_report "Ctrl+C at the length prompt" id_records_return_shows_next

# A user who saved the report on a full disk must learn that it is empty,
# whichever way the run ends.
signal_at_prompt $lines "$lines_prompt" INT /dev/full
expect_status "Ctrl+C with standard output full" 4
expect_output_failure "Ctrl+C with standard output full" "No space left on device"

signal_at_prompt $lines "$lines_prompt" INT closed
expect_status "Ctrl+C with standard output closed" 4
expect_output_failure "Ctrl+C with standard output closed" "Bad file descriptor"

signal_at_prompt $lines "$lines_prompt" TERM out
expect_status "SIGTERM at the line-end prompt" 143
expect_report "SIGTERM at the line-end prompt" $lines
exit $failed
