#!/usr/bin/env bash
# Standard streams that are closed, full or cut off: the field report's
# loss is never a success, and the input file never takes the place of a
# closed stream.
set -u
program=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
check() { # what, expected status, actual status
    [ "$2" = "$3" ] || { echo "$1: status $3, expected $2"; failed=1; }
}
last_line_is() { # what, file, line
    [ "$(tail -n 1 "$2")" = "$3" ] || { echo "$1: last line of standard error is '$(tail -n 1 "$2")'"; failed=1; }
}

for _ in $(seq 20); do printf 'a|b\r\n'; done > ab.dat
# The sample ends at 16,000 bytes; behind it, keystrokes that must never be
# read as keystrokes.
{ for _ in $(seq 3200); do printf 'a|b\r\n'; done; printf 'xxxxxxxx'; } > lines.dat

timeout 10 "$program" lines.dat > out 2> err <&-
check "standard input closed" 0 $?
count=$(grep -c "hit return to continue" err)
[ "$count" = 10 ] || { echo "standard input closed: $count prompts, expected 10"; failed=1; }

"$program" ab.dat 0 2> err < /dev/null >&-
check "standard output closed" 4 $?
last_line_is "standard output closed" err "korvalen: can't write standard output: Bad file descriptor"

"$program" ab.dat 0 > /dev/full 2> err < /dev/null
check "standard output full" 4 $?
last_line_is "standard output full" err "korvalen: can't write standard output: No space left on device"

"$program" ab.dat 0 > out < /dev/null 2>&-
check "standard error closed" 0 $?
grep -q "Pipe at       2        1  |b<<-2EOR" out || { echo "standard error closed: no report"; failed=1; }

# A reader that leaves early ends the run as it ends POSIX tools: by
# SIGPIPE. The report is larger than a pipe holds, so the write meets the
# closed pipe for certain.
head -c 16000 /dev/zero | tr '\0' '|' > pipes.dat
"$program" pipes.dat 0 2> err < /dev/null | head -c 10 > /dev/null
check "pipe closed by its reader" 141 "${PIPESTATUS[0]}"
# With SIGPIPE ignored, as some parents start their children, the closed
# pipe is a failed write like any other.
(trap '' PIPE; "$program" pipes.dat 0 2> err < /dev/null | head -c 10 > /dev/null
    exit "${PIPESTATUS[0]}")
check "pipe closed by its reader, SIGPIPE ignored" 4 $?
last_line_is "pipe closed by its reader, SIGPIPE ignored" err \
    "korvalen: can't write standard output: Broken pipe"

# A survey of standard input that was closed is no survey of an empty file.
"$program" --survey --verify - > out 2> err <&-
check "survey of closed standard input" 2 $?
last_line_is "survey of closed standard input" err "korvalen: -: Bad file descriptor"
exit $failed
