#!/usr/bin/env bash
# Runs korvalen in a real terminal (tmux) and reads the screen: the box is
# drawn, the prompts show, Return goes on, x ends with status 0 and Ctrl+C
# with status 2.
set -u
command -v tmux > /dev/null || { echo "SKIP: tmux is not installed"; exit 77; }
program=$(realpath "$1")
work=$(mktemp -d)
socket=korvalen-test-$$
export LC_ALL=C.UTF-8
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
for _ in $(seq 20); do printf 'a|b\r\n'; done > ab.dat

failed=0
screen() {
    tmux -L "$socket" capture-pane -p -S - -t "$1"
}
# Waits until the screen of session $1 shows text $2 at least $3 times.
wait_for() {
    for _ in $(seq 100); do
        [ "$(screen "$1" | grep -c -F -- "$2")" -ge "$3" ] && return 0
        sleep 0.05
    done
    echo "$1: the screen never showed '$2' $3 times:"
    screen "$1"
    failed=1
    return 1
}
start() {
    tmux -u -L "$socket" new-session -d -s "$1" -x 100 -y 50 \
        "'$program' ab.dat; echo \"status=\$?\"; sleep 60"
}

start quit
wait_for quit "hit return to continue, or ^C to quit" 1
for drawn in "╔═══" "═══╗" "║                                 KORVALEN                                 ║" \
    "╚═══" "═══╝" "(32 BIT)" "Pipe at       2        1  |b<<-2EOR"; do
    screen quit | grep -q -F -- "$drawn" || { echo "the screen lacks '$drawn'"; failed=1; }
done
tmux -L "$socket" send-keys -t quit Enter
wait_for quit "hit return to continue, or ^C to quit" 2
# The terminal hands over a line at a time, as a console does: x, then Return.
tmux -L "$socket" send-keys -t quit x Enter
wait_for quit "status=0" 1

start interrupt
wait_for interrupt "hit return to continue, or ^C to quit" 1
tmux -L "$socket" send-keys -t interrupt C-c
wait_for interrupt "status=2" 1
exit $failed
