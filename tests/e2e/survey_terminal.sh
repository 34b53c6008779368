#!/usr/bin/env bash
# The survey's progress line and Ctrl+C: on a terminal, work that lasts
# more than a second shows a progress line on standard error, erased at the
# end; elsewhere it never shows. Ctrl+C ends the run with status 2 and no
# report of a file it cut short.
set -u
program=$(realpath "$1")
work=$(mktemp -d)
socket=korvalen-survey-test-$$
trap 'tmux -L "$socket" kill-server 2>/dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0

(sleep 1.5; printf 'a|b\n') | "$program" --verify --json - > out.json 2> err
status=$?
[ "$status" = 0 ] || { echo "slow standard input: status $status"; failed=1; }
[ -s err ] && { echo "a progress line on standard error that is not a terminal:"; cat -A err; failed=1; }

# A writer that never writes: only Ctrl+C ends the read.
mkfifo silent.fifo
exec 3<> silent.fifo
"$program" --survey - < silent.fifo > out.txt 2> err &
reader=$!
sleep 0.5
kill -INT "$reader"
wait "$reader"
status=$?
exec 3>&-
[ "$status" = 2 ] || { echo "Ctrl+C while reading: status $status"; failed=1; }
[ -s out.txt ] && { echo "Ctrl+C while reading: a report of what it cut short"; failed=1; }

if ! command -v tmux > /dev/null; then
    echo "tmux is missing: the progress line on a terminal is not tested"
    exit 77
fi
screen() {
    tmux -L "$socket" capture-pane -p -t progress
}
tmux -L "$socket" new-session -d -s progress -x 100 -y 20 \
    "(sleep 3; printf 'a|b\n') | '$program' --verify --json - > out.json; echo status=\$?; sleep 60"
shown=0
for _ in $(seq 50); do
    screen | grep -q -F "korvalen: surveying -" && { shown=1; break; }
    sleep 0.05
done
[ "$shown" = 1 ] || { echo "no progress line within 2.5 s:"; screen; failed=1; }
for _ in $(seq 100); do
    screen | grep -q "status=" && break
    sleep 0.05
done
screen | grep -q -x "status=0" || { echo "the run did not end with status 0:"; screen; failed=1; }
screen | grep -q -F "korvalen:" && { echo "the progress line was not erased:"; screen; failed=1; }
exit $failed
