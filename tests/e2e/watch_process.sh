# shellcheck shell=bash
# Sourced by the signal scripts: what a program started in the background
# is doing, so that a signal reaches it where it is meant to.

# Runs a command until it succeeds, for at most 10 seconds.
wait_until() {
    for _ in $(seq 200); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# Whether a thread of process $1 is in a read of file $2. A Windows program
# under wine buffers a standard error that is not a console, so no prompt
# shows there before the end; its waits are seen this way (read is call 0
# on x86-64, where wine runs).
reads_from() {
    local task call descriptor
    for task in /proc/"$1"/task/*; do
        read -r call descriptor _ < "$task/syscall" 2>/dev/null || continue
        [ "$call" = 0 ] && [ "$(readlink "/proc/$1/fd/$((descriptor))")" = "$PWD/$2" ] && return 0
    done
    return 1
}

# Whether process $1 has file $2 open.
holds_open() {
    local descriptor
    for descriptor in /proc/"$1"/fd/*; do
        [ "$(readlink "$descriptor")" = "$PWD/$2" ] && return 0
    done
    return 1
}

# Waits at most 5 seconds for process $1 to end; sets status, or "running"
# when it had to be killed.
wait_for_end() {
    for _ in $(seq 100); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$1" 2>/dev/null; then
        kill -KILL "$1"
        wait "$1" 2>/dev/null
        status=running
        return
    fi
    wait "$1"
    status=$?
}
