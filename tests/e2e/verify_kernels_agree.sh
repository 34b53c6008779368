#!/usr/bin/env bash
# The record check gives one answer whichever kernels the processor runs,
# in memory or read from the file by two workers: on 40 MiB of delimited
# lines with a bad record near the end, and on fixed-length records with a
# stray byte. Under wine this runs the wide kernels and the worker threads
# of the Windows build. KORVALEN_RUNNER: see runner.sh.
set -u
harness=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
source "$here/runner.sh"
failed=0

"${runner[@]}" "$harness" write-lines lines.txt 40 || exit 1
printf '1|"a|b"|c\n' >> lines.txt
"${runner[@]}" "$harness" write-fixed fixed.dat 8 || exit 1
printf 'x' | dd of=fixed.dat bs=1 seek=5000005 conv=notrunc status=none

for kind in lines fixed; do
    file=lines.txt
    [ $kind = fixed ] && file=fixed.dat
    if ! "${runner[@]}" "$harness" agree $kind $file > out 2>&1; then
        echo "$kind: the kernels disagree:"
        cat out
        failed=1
    elif ! grep -q "anomalies, first: record" out; then
        echo "$kind: the bad record was not found:"
        cat out
        failed=1
    fi
done
exit $failed
