#!/usr/bin/env bash
# CPU time of `korvalen --survey` against `file -b` on the same files, the
# two run in turn, several rounds; prints the medians and their ratio. It
# reports and never fails: the goal (the survey costs no more CPU than
# file -b) is read off its output.
#
#   tests/benchmark/survey.sh [KORVALEN [ROUNDS [FILE...]]]
#
# Without files it surveys the real-file corpus (tests/corpus/collect.sh).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
korvalen=${1:-$root/build/korvalen}
rounds=${2:-9}
shift $(( $# < 2 ? $# : 2 ))
files=("$@")
if [ ${#files[@]} = 0 ]; then
    files=("$root"/build/corpus/files/*)
    [ -e "${files[0]}" ] || { echo "survey.sh: no files: run tests/corpus/collect.sh first"; exit 2; }
fi
command -v file > /dev/null || { echo "survey.sh: file(1) is not installed"; exit 2; }
exec python3 - "$korvalen" "$rounds" "${files[@]}" <<'PYTHON'
import resource, statistics, subprocess, sys

korvalen, rounds, files = sys.argv[1], int(sys.argv[2]), sys.argv[3:]

def cpu_of(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

runs = {"file -b": [], "korvalen --survey": []}
for _ in range(rounds):
    runs["file -b"].append(cpu_of(["file", "-b", *files]))
    runs["korvalen --survey"].append(cpu_of([korvalen, "--survey", *files]))
print(f"{len(files)} files, {rounds} rounds, CPU time (user + system), median:")
medians = {name: statistics.median(times) for name, times in runs.items()}
for name, median in medians.items():
    print(f"  {name:18} {median * 1000:8.1f} ms")
print(f"  korvalen / file:   {medians['korvalen --survey'] / medians['file -b']:8.2f}")
PYTHON
