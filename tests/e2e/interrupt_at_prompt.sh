#!/usr/bin/env bash
# Ctrl+C at a prompt, with standard output redirected to a file and
# standard input a pipe that stays open: the run must end by exiting with
# status 2 (not by dying of the signal), and the file must hold the whole
# field report.
set -u
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
cases=$here/cases
work=$(mktemp -d)
trap 'exec 3>&-; rm -rf "$work"' EXIT
cd "$work" || exit 1

source "$here/runner.sh"
failed=0
interrupt_case() { # case folder whose setup, args and stdout to use; what to wait for
    local case_dir=$cases/$1 prompt=$2
    bash -e "$case_dir/setup"
    local arguments=()
    mapfile -t arguments < "$case_dir/args"
    rm -f keys && mkfifo keys
    exec 3<>keys
    "${runner[@]}" "$program" "${arguments[@]}" < keys > out 2> err &
    local pid=$!
    for _ in $(seq 100); do
        grep -q "$prompt" err 2>/dev/null && break
        sleep 0.05
    done
    kill -INT "$pid"
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "$1: still running 5 seconds after Ctrl+C"
        kill -KILL "$pid"
    fi
    wait "$pid"
    local status=$?
    exec 3>&-
    if [ "$status" != 2 ]; then
        echo "$1: status $status, expected 2"
        failed=1
    fi
    as_written "$case_dir/stdout" > expected
    if ! cmp -s expected out; then
        echo "$1: the redirected field report is not complete"
        failed=1
    fi
}
interrupt_case crlf_lines_default_limit "hit return to continue"
interrupt_case id_records_return_shows_next "hit return to see next"
exit $failed
