#!/usr/bin/env bash
# Ctrl+C while korvalen waits on something other than a prompt. A report
# held up by a full pipe reaches its reader whole, and the run ends with
# status 2 and nothing more to say; a second Ctrl+C ends a run that a pipe
# nobody reads holds up for good. Opening a FIFO without a writer, and
# reading one whose writer stays silent, end the same way.
set -u
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
pids=()
trap 'exec 3>&- 4<&-; kill -KILL "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
source "$here/runner.sh"
source "$here/watch_process.sh"

# A process's wait channel tells that it is held up by a full pipe.
case $(cat /proc/$$/wchan 2>/dev/null) in
'' | 0)
    echo "SKIP: /proc/PID/wchan does not show where a process waits"
    exit 77
    ;;
esac
# Windows ends a process on Ctrl+C with STATUS_CONTROL_C_EXIT, of which the
# emulator passes on the low byte; POSIX ends it by the signal.
died_of_ctrl_c=130
[ -n "${KORVALEN_RUNNER:-}" ] && died_of_ctrl_c=58

failed=0
fail() {
    echo "$*"
    failed=1
}
writes_to_full_pipe() {
    case $(cat "/proc/$1/wchan" 2>/dev/null) in *pipe_write) return 0 ;; esac
    return 1
}
# The signal left the pending set: the process has taken it.
took_sigint() {
    local mask
    for mask in $(awk '/^(SigPnd|ShdPnd):/ { print $2 }' "/proc/$1/status" 2>/dev/null); do
        ((0x$mask & 2)) && return 1
    done
    return 0
}
# Sleeping, after the banner and its six blank lines.
sleeps_after_the_banner() {
    [ "$(tr -d '\r' < err | tail -c 6 | tr '\n' n)" = nnnnnn ] &&
        [ "$(awk '{ print $3 }' "/proc/$1/stat")" = S ]
}
ctrl_c() { # process; sends Ctrl+C and waits until it is taken
    kill -INT "$1"
    wait_until took_sigint "$1" || fail "Ctrl+C never reached process $1"
}
# Starts the program on file $1 with keys from a pipe that stays open and
# with standard output $2; sets pid.
start() {
    # Gone, the last run's standard error cannot pass for this one's.
    rm -f keys err && mkfifo keys
    exec 3<>keys
    "${runner[@]}" "$program" "$1" < keys > "$2" 2> err 3>&- &
    pid=$!
    pids+=("$pid")
}

head -c 16000 /dev/zero | tr '\0' '|' > pipes.dat
# A report a little over 64 KiB: all but its last block fits in a pipe.
{ head -c 2060 /dev/zero | tr '\0' '|'; printf '\n'; } > pipes_64k.dat

# Keystrokes $2 follow in the pipe once the report is out.
full_pipe_case() { # what, file, keys
    "${runner[@]}" "$program" "$2" < /dev/null > whole 2> /dev/null
    rm -f report && mkfifo report
    start "$2" report
    exec 4< report
    printf '%s' "$3" >&3
    wait_until writes_to_full_pipe "$pid" || fail "$1: the report never filled the pipe"
    ctrl_c "$pid"
    cat <&4 > received
    exec 4<&-
    wait_for_end "$pid"
    exec 3>&-
    [ "$status" = 2 ] || fail "$1: status $status, expected 2"
    cmp -s whole received || fail "$1: the reader did not receive the whole report"
    grep -q "can't write" err && fail "$1: $(grep "can't write" err)"
}
full_pipe_case "Ctrl+C in the middle of the report" pipes.dat ""
full_pipe_case "Ctrl+C at the report's last block" pipes_64k.dat x

rm -f report && mkfifo report
start pipes.dat report
exec 4< report
wait_until writes_to_full_pipe "$pid" || fail "unread pipe: the report never filled it"
ctrl_c "$pid"
wait_until writes_to_full_pipe "$pid" || fail "unread pipe: the write was not resumed"
kill -INT "$pid"
wait_for_end "$pid"
exec 3>&- 4<&-
[ "$status" = $died_of_ctrl_c ] ||
    fail "unread pipe: status $status after a second Ctrl+C, expected $died_of_ctrl_c"

# Under wine the wait for a file is a poll that shows no file; the run
# opens the file after it catches Ctrl+C, and waits on it next.
waits_for_input() {
    if [ -n "${KORVALEN_RUNNER:-}" ]; then
        holds_open "$1" input.fifo
    else
        sleeps_after_the_banner "$1"
    fi
}
fifo_case() { # what, a command that opens the FIFO's other end or true
    rm -f input.fifo && mkfifo input.fifo
    start input.fifo out
    $2
    wait_until waits_for_input "$pid" || fail "$1: the run never waited"
    ctrl_c "$pid"
    wait_for_end "$pid"
    exec 3>&- 4<&-
    [ "$status" = 2 ] || fail "$1: status $status, expected 2"
    [ "$(tr -d '\r' < err | tail -c 6 | tr '\n' n)" = nnnnnn ] ||
        fail "$1: standard error goes on after the banner: $(tail -n 2 err)"
    [ -s out ] && fail "$1: a report of an input never read"
}
hold_writer_open() {
    exec 4<> input.fifo
}
fifo_case "Ctrl+C while reading a silent FIFO" hold_writer_open
# A Windows program does not wait for a FIFO's writer.
[ -z "${KORVALEN_RUNNER:-}" ] && fifo_case "Ctrl+C while opening a FIFO without a writer" true
exit $failed
