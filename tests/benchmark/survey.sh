#!/usr/bin/env bash
# CPU time of `korvalen --survey --json` against `file -b` on the same
# files, the two run in turn, several rounds; prints the medians and their
# ratio for each kind of file and for all. It reports and never fails: the
# goal (the survey costs no more CPU than file -b) is read off its output.
# A third column, the floor, is sample_floor.c: it reads the same sampled
# bytes and counts their line ends, the least any survey of them costs.
#
#   tests/benchmark/survey.sh [KORVALEN [ROUNDS [FILE...]]]
#   tests/benchmark/survey.sh KORVALEN ROUNDS --mixed [PER_KIND]
#
# Without files it surveys the real-file corpus (tests/corpus/collect.sh).
# --mixed writes (once) and times the generated set of mixed_set.py:
# fixed-length binary records, CSV, `|` lines and fixed-width text of
# 64 KiB to 4 MiB; files are grouped into kinds by their names' prefix.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
korvalen=${1:-$root/build/korvalen}
rounds=${2:-9}
shift $(( $# < 2 ? $# : 2 ))
files=("$@")
grouped=no
if [ "${files[0]:-}" = --mixed ]; then
    per_kind=${files[1]:-30}
    set_dir="$root/build/bench-mixed-$per_kind"
    if [ ! -d "$set_dir" ]; then
        rm -rf "$set_dir.part"
        python3 "$here/mixed_set.py" "$set_dir.part" "$per_kind"
        mv "$set_dir.part" "$set_dir"
    fi
    files=("$set_dir"/*)
    grouped=yes
elif [ ${#files[@]} = 0 ]; then
    files=("$root"/build/corpus/files/*)
    [ -e "${files[0]}" ] || { echo "survey.sh: no files: run tests/corpus/collect.sh first"; exit 2; }
fi
command -v file > /dev/null || { echo "survey.sh: file(1) is not installed"; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/sample_floor" "$here/sample_floor.c" || { echo "survey.sh: cannot build the floor"; exit 2; }
python3 - "$grouped" "$korvalen" "$rounds" "$work/sample_floor" "${files[@]}" <<'PYTHON'
import collections, os, re, resource, statistics, subprocess, sys

grouped, korvalen, rounds = sys.argv[1] == "yes", sys.argv[2], int(sys.argv[3])
floor, files = sys.argv[4], sys.argv[5:]

# Only the generated set is named by kind; a real file's name may end in
# a number too, and it is no kind of its own.
def kind_of(path):
    match = re.match(r"(.+)-\d+$", os.path.basename(path)) if grouped else None
    return match.group(1) if match else "corpus"

def cpu_of(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

kinds = collections.defaultdict(list)
for path in files:
    kinds[kind_of(path)].append(path)
groups = dict(kinds)
if len(groups) > 1:
    groups["all"] = files
print(f"{len(files)} files, {rounds} rounds, CPU time (user + system), median of paired runs:")
print(f"  {'kind':12} {'files':>5} {'file -b':>10} {'korvalen':>10} {'ratio':>7} {'floor':>10}")
for kind, paths in groups.items():
    ours, theirs, ratios, least = [], [], [], []
    # One process for all of a kind's files, as a user surveys a folder;
    # each round pairs the two in turn so that a drifting machine hits both.
    for _ in range(rounds):
        b = cpu_of(["file", "-b", *paths])
        a = cpu_of([korvalen, "--survey", "--json", *paths])
        least.append(cpu_of([floor, *paths]))
        theirs.append(b)
        ours.append(a)
        ratios.append(a / b if b > 0 else float("inf"))
    print(f"  {kind:12} {len(paths):5} {statistics.median(theirs) * 1000:8.1f}ms"
          f" {statistics.median(ours) * 1000:8.1f}ms {statistics.median(ratios):7.2f}"
          f" {statistics.median(least) * 1000:8.1f}ms")
PYTHON
