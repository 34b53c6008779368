#!/usr/bin/env bash
# Runs korvalen once, as one case folder describes, in a temporary folder,
# and compares its standard output, standard error and exit status byte for
# byte with the case's expectations.
#
# A case folder holds:
#   setup    bash commands that write the input files (optional)
#   args     the arguments, one a line (optional: none)
#   stdin    the keystrokes (optional: an empty standard input)
#   stdout   what standard output must hold (optional: nothing)
#   stdout.sh  or bash commands that print it, for a report too long to keep
#   stderr   what standard error must hold after the banner
#   status   the exit status
# A setup that leaves processes behind, such as a writer that holds a FIFO
# open, writes their ids to background.pids; they are ended after the run.
# In place of setup, stdout or stderr, a case may hold setup.from,
# stdout.from or stderr.from: one line naming a file under fixtures/ that
# several cases share.
# The banner every run begins with is banner.txt beside this script; its
# version text, which changes with every build, is matched by its shape.
# KORVALEN_RUNNER and KORVALEN_TEXT_MODE: see runner.sh.
set -u
program=$(realpath "$1")
case_dir=$(realpath "$2")
here=$(dirname "$(realpath "$0")")

work=$(mktemp -d)
end_background() {
    [ -f "$work/background.pids" ] && kill $(cat "$work/background.pids") 2> /dev/null
    rm -rf "$work"
}
trap end_background EXIT
cd "$work" || exit 1

source "$here/runner.sh"
for from in "$case_dir"/*.from; do
    [ -e "$from" ] || continue
    [ -f "$(case_file "$case_dir" "$(basename "$from" .from)")" ] ||
        { echo "$from names a fixture that does not exist"; exit 1; }
done
setup=$(case_file "$case_dir" setup)
if [ -f "$setup" ]; then
    bash -e "$setup" || { echo "setup failed"; exit 1; }
fi
arguments=()
if [ -f "$case_dir/args" ]; then
    mapfile -t arguments < "$case_dir/args"
fi
keys=/dev/null
[ -f "$case_dir/stdin" ] && keys="$case_dir/stdin"

"${runner[@]}" "$program" "${arguments[@]}" < "$keys" > actual.stdout 2> actual.stderr
echo $? > actual.status

LC_ALL=C sed -E 's/Ver\. [0-9]{2}\.[0-9]{2}\.[0-9]{2}\.[0-9]{2}\.[0-9]{2}/Ver. YY.MM.DD.hh.mm/' \
    actual.stderr > actual.stderr.shaped
cat "$here/banner.txt" "$(case_file "$case_dir" stderr)" > expected.stderr.lf
if [ -f "$(case_file "$case_dir" stdout)" ]; then
    cp "$(case_file "$case_dir" stdout)" expected.stdout.lf
elif [ -f "$case_dir/stdout.sh" ]; then
    bash "$case_dir/stdout.sh" > expected.stdout.lf
else
    : > expected.stdout.lf
fi
as_written expected.stdout.lf > expected.stdout
as_written expected.stderr.lf > expected.stderr

failed=0
compare() {
    if ! cmp -s "$1" "$2"; then
        echo "== $3 differs (expected, then actual, as cat -A shows them):"
        diff <(cat -A "$1") <(cat -A "$2") | head -40
        failed=1
    fi
}
compare "$case_dir/status" actual.status "exit status"
compare expected.stdout actual.stdout "standard output"
compare expected.stderr actual.stderr.shaped "standard error"
exit $failed
