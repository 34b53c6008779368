#!/usr/bin/env bash
# What the self-check costs a run, against the rest of that same run: the
# instructions callgrind counts for a line-end run of a file of CR LF lines
# (standard input at its end, as a script would run it), and those of the
# check before main, everything it calls included. The check is counted in
# a second run with the C library's functions bound before the program
# starts (LD_BIND_NOW): otherwise the first call it makes to each of them
# would be charged with binding it, which the run pays at its first call
# anyway, check or no check. Run it by hand:
#   tests/benchmark/self_check_cost.sh build/korvalen
# The check's share should stay at 5% or less.
set -u
program=$(realpath "$1")
command -v valgrind > /dev/null || { echo "skipped: valgrind is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for ((line = 1; line <= 100; line++)); do
    printf '%048d\r\n' "$line"
done > "$work/lines.txt"
valgrind --tool=callgrind --callgrind-out-file="$work/profile" \
    "$program" "$work/lines.txt" < /dev/null > /dev/null 2> "$work/log"
total=$(sed -n 's/.*I *refs: *//p' "$work/log" | tr -d ,)
LD_BIND_NOW=1 valgrind --tool=callgrind --callgrind-out-file="$work/bound" \
    "$program" "$work/lines.txt" < /dev/null > /dev/null 2> /dev/null
check=$(callgrind_annotate --inclusive=yes "$work/bound" 2> /dev/null |
    awk '/_GLOBAL__sub_I.00101/ {gsub(",", "", $1); print $1; exit}')
if [ -z "$total" ] || [ -z "$check" ]; then
    echo "could not find the run's or the check's count"
    exit 1
fi
echo "whole run:  $total instructions"
echo "self-check: $check instructions, $((check * 1000 / total / 10)).$((check * 1000 / total % 10))%"
[ $((check * 20)) -le "$total" ]
