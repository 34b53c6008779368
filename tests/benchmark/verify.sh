#!/usr/bin/env bash
# --verify's speed and memory against `wc -l` on the same page-cached
# files, paired: 1 GiB of |-delimited lines with quoted fields, and 1 GiB of
# fixed-length records. Each round runs both, alternating which goes first.
# Goals: at least 1.5 times the throughput of `wc -l`, at most 64 MiB peak
# resident memory. Exits 1 when a goal is missed. A plain read of the file
# in 256 KiB blocks (`dd`) is timed beside them: no reader that copies from
# the page cache on one thread goes faster. `wc -l` comes near it; --verify
# maps the file and checks it on every processor, so it need not copy.
#
#   tests/benchmark/verify.sh [BUILD_DIR] [MIB] [ROUNDS]
#
# The files are written by BUILD_DIR/tests/verify_harness; what is timed is
# `korvalen --verify --json`, survey and check, as a user runs it. Its
# answer for each file is printed once, so that a wrong layout shows.
set -eu
build=${1:-build}
mib=${2:-1024}
rounds=${3:-5}
harness=$build/tests/verify_harness
korvalen=$build/korvalen
[ -x "$harness" ] || { echo "verify.sh: $harness is missing: build with -DBUILD_TESTING=ON"; exit 2; }
[ -x "$korvalen" ] || { echo "verify.sh: $korvalen is missing"; exit 2; }
[ -x /usr/bin/time ] || { echo "verify.sh: /usr/bin/time is missing"; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$harness" write-lines "$work/lines.txt" "$mib"
"$harness" write-fixed "$work/fixed.dat" "$mib"

# Seconds of one run, its peak resident KiB and its processor seconds.
# The wall time comes from the shell's microsecond clock: /usr/bin/time
# counts in hundredths, too coarse for runs of a tenth of a second.
measure() {
    local start=$EPOCHREALTIME end
    /usr/bin/time -f "%M %U %S" -o "$work/time" "$@" > /dev/null 2>&1 || [ $? -eq 1 ]
    end=$EPOCHREALTIME
    awk -v start="$start" -v end="$end" '{ printf "%.4f %d %.2f\n", end - start, $1, $2 + $3 }' "$work/time"
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

failed=0
for kind in lines fixed; do
    file=$work/$kind.txt
    [ "$kind" = fixed ] && file=$work/fixed.dat
    cat "$file" > /dev/null   # into the page cache
    "$korvalen" --verify --json "$file" | cut -c1-400 || true
    : > "$work/ours"
    : > "$work/wc"
    : > "$work/rss"
    : > "$work/cpu"
    : > "$work/wc_cpu"
    : > "$work/read"
    for round in $(seq "$rounds"); do
        if [ $((round % 2)) -eq 1 ]; then
            measure wc -l "$file" > "$work/peer"
            measure "$korvalen" --verify --json "$file" > "$work/one"
        else
            measure "$korvalen" --verify --json "$file" > "$work/one"
            measure wc -l "$file" > "$work/peer"
        fi
        measure dd if="$file" of=/dev/null bs=256K | awk '{ print $1 }' >> "$work/read"
        awk '{ print $1 }' "$work/peer" >> "$work/wc"
        awk '{ print $3 }' "$work/peer" >> "$work/wc_cpu"
        awk '{ print $1 }' "$work/one" >> "$work/ours"
        awk '{ print $2 }' "$work/one" >> "$work/rss"
        awk '{ print $3 }' "$work/one" >> "$work/cpu"
    done
    ours=$(median < "$work/ours")
    theirs=$(median < "$work/wc")
    rss=$(sort -n "$work/rss" | tail -n 1)
    size=$(stat -c %s "$file")
    awk -v kind="$kind" -v ours="$ours" -v theirs="$theirs" -v rss="$rss" -v size="$size" \
        -v rounds="$rounds" 'BEGIN {
        ratio = theirs / ours
        printf "%-6s %d MiB, median of %d paired rounds: verify %.3f s (%.2f GB/s), wc -l %.3f s (%.2f GB/s), ratio %.2f; peak RSS %.1f MiB\n",
            kind, size / 1048576, rounds, ours, size / ours / 1e9, theirs, size / theirs / 1e9, ratio, rss / 1024
        exit !(ratio >= 1.5 && rss <= 65536)
    }' || failed=1
    echo "        verify seconds: $(tr '\n' ' ' < "$work/ours") (processor: $(median < "$work/cpu"))"
    echo "        wc -l seconds:  $(tr '\n' ' ' < "$work/wc") (processor: $(median < "$work/wc_cpu"))"
    awk -v read="$(median < "$work/read")" -v size="$size" \
        'BEGIN { printf "        a plain read:   %.3f s (%.2f GB/s), one thread copying\n", read, size / read / 1e9 }'
done
[ $failed -eq 0 ] || echo "verify.sh: a goal was missed (at least 1.5x wc -l, at most 64 MiB)"
exit $failed
