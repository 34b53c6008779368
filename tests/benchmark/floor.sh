#!/usr/bin/env bash
# Measures whole runs of korvalen against the floor: a static C program
# (floor.c) that only opens the file, reads its first 16,000 bytes and ends.
# Two runs of korvalen are measured: -f on the window that makes the
# fixed-length analysis work hardest (16,000 bytes of two random letters)
# and the line-end scan of a file of CR LF lines, both with standard input
# at its end. The same floor linked dynamically shows what the dynamic
# loader alone costs.
#
# The programs are timed in rounds that take turns, so that all of them meet
# the same load on a shared machine; each ratio is the median of the rounds'
# ratios. It prints figures and judges nothing.
#
# Usage: tests/benchmark/floor.sh [KORVALEN [ROUNDS]]
#        (defaults: build/korvalen, 50 rounds)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
korvalen=$(realpath "${1:-build/korvalen}")
rounds=${2:-50}
runs_per_round=5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! cc -O2 -static -o "$work/floor" "$here/floor.c"; then
    echo "floor.sh: cannot link the floor statically (is libc6-dev installed?)" >&2
    exit 1
fi
cc -O2 -o "$work/floor_dynamic" "$here/floor.c"

# The letters come from a fixed linear congruential sequence, the same in
# every awk, so the window is the same file in every run.
awk 'BEGIN {
    state = 20261209
    for (i = 0; i < 16000; i++) {
        state = (state * 69069 + 1) % 4294967296
        printf "%s", (int(state / 65536) % 2 ? "b" : "a")
    }
}' > "$work/two_letters.dat"
awk 'BEGIN { for (i = 0; i < 320; i++) printf "%048d\r\n", i }' > "$work/lines.dat"

# Command lines quoted as a shell reads them, which is also how hyperfine
# splits them.
quoted() { printf '%q ' "$@"; }
names=(floor floor_dynamic dash_f line_ends)
commands=(
    "$(quoted "$work/floor" "$work/two_letters.dat")"
    "$(quoted "$work/floor_dynamic" "$work/two_letters.dat")"
    "$(quoted "$korvalen" "$work/two_letters.dat" -f)"
    "$(quoted "$korvalen" "$work/lines.dat")"
)

# One line per round: the wall time in seconds of one run of each command,
# in the order of the commands, then the CPU time (user and system) of each.
# hyperfine takes the commands in turn, a few runs of each at a time, and
# gives the wall time's median and the CPU time's mean; its warnings about
# outliers are expected on a shared machine and are shown only on failure.
time_rounds_with_hyperfine() {
    local round listed=()
    for ((round = 0; round < rounds; round++)); do
        listed+=("${commands[@]}")
    done
    if ! hyperfine -N --style none --warmup 1 --runs "$runs_per_round" \
        --export-csv "$work/rounds.csv" "${listed[@]}" < /dev/null > /dev/null \
        2> "$work/hyperfine.txt"; then
        cat "$work/hyperfine.txt" >&2
        exit 1
    fi
    awk -F, -v n="${#commands[@]}" 'NR > 1 {
        i = (NR - 2) % n
        wall[i] = $4
        cpu[i] = $5 + $6
        if (i == n - 1) {
            for (j = 0; j < n; j++) printf "%s ", wall[j]
            for (j = 0; j < n; j++) printf "%s%s", cpu[j], (j < n - 1 ? " " : "\n")
        }
    }' "$work/rounds.csv"
}

# Without hyperfine: a loop of its own, which gives means rather than
# medians and also times the shell's fork, bringing every ratio nearer to 1.
# The CPU time of the runs is the shell's children's, which the times
# builtin reports only when run in this shell itself, not in a subshell.
children_cpu() {
    awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); print u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$1"
}
time_rounds_with_loop() {
    local round command start end i walls cpus
    for ((round = 0; round < rounds; round++)); do
        walls="" cpus=""
        for command in "${commands[@]}"; do
            times > "$work/times_before.txt"
            start=$EPOCHREALTIME
            for ((i = 0; i < runs_per_round; i++)); do
                eval "$command" < /dev/null > /dev/null 2>&1 || true
            done
            end=$EPOCHREALTIME
            times > "$work/times_after.txt"
            walls+="$(awk -v a="$start" -v b="$end" -v n="$runs_per_round" 'BEGIN { print (b - a) / n }') "
            cpus+="$(awk -v a="$(children_cpu "$work/times_before.txt")" \
                -v b="$(children_cpu "$work/times_after.txt")" -v n="$runs_per_round" \
                'BEGIN { print (b - a) / n }') "
        done
        echo "$walls$cpus"
    done
}

if command -v hyperfine > /dev/null; then
    echo "timing with hyperfine -N: $rounds rounds of $runs_per_round runs of each program"
    time_rounds_with_hyperfine > "$work/rounds.txt"
else
    echo "hyperfine not installed; timing with a shell loop (its fork counts in every run):"
    echo "$rounds rounds of $runs_per_round runs of each program"
    time_rounds_with_loop > "$work/rounds.txt"
fi

# Medians over the rounds: of the times, and of the rounds' ratios.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_median() { awk -v c="$1" '{ print $c }' "$work/rounds.txt" | median; }
ratio_median() { awk -v a="$1" -v b="$2" '{ print ($b > 0 ? $a / $b : "nan") }' "$work/rounds.txt" | median; }

count=${#commands[@]}
echo
echo "one run, median of the rounds:   wall ms    CPU ms"
for i in "${!names[@]}"; do
    printf '  %-28s %9.3f %9.3f\n' "${names[$i]}" \
        "$(column_median $((i + 1)) | awk '{ print $1 * 1000 }')" \
        "$(column_median $((i + 1 + count)) | awk '{ print $1 * 1000 }')"
done
echo "ratios, median of the rounds'     wall       CPU"
ratio_line() {
    printf '  %-28s %9.2f %9.2f\n' "$1" "$(ratio_median "$2" "$3")" \
        "$(ratio_median $(($2 + count)) $(($3 + count)))"
}
ratio_line "-f run / floor" 3 1
ratio_line "line-end run / floor" 4 1
ratio_line "dynamic floor / floor" 2 1
ratio_line "-f run / dynamic floor" 3 2
ratio_line "line-end run / dynamic floor" 4 2

echo
if ! command -v valgrind > /dev/null; then
    echo "valgrind not installed: no instruction counts"
    exit 0
fi
echo "instructions (callgrind)"
for i in "${!names[@]}"; do
    profile="$work/${names[$i]}.callgrind"
    eval "valgrind --tool=callgrind --callgrind-out-file=$(quoted "$profile") ${commands[$i]}" \
        < /dev/null > /dev/null 2> "$work/valgrind.txt" || true
    total=$(awk '/Collected :/ { print $NF }' "$work/valgrind.txt")
    printf '  %-14s %10s\n' "${names[$i]}" "$total"
done
histogram=$(callgrind_annotate --inclusive=yes "$work/dash_f.callgrind" |
    awk '/:count_repeat_distances\(/ { gsub(",", "", $1); print $1; exit }')
echo "  of the -f run, the repeat-distance count: ${histogram:-not found}"
for name in dash_f line_ends; do
    echo "the functions that cost the $name run most (their own instructions)"
    callgrind_annotate "$work/$name.callgrind" | grep -E '^ *[0-9,]+ \( *[0-9.]+%\) ' |
        grep -v 'PROGRAM TOTALS' | head -n 6 |
        sed -E 's/^ *([0-9,]+) \([^)]*\) +[^:]*:(.*) \[.*$/\1 \2/' |
        awk '{ count = $1; $1 = ""; printf "  %10s %s\n", count, substr($0, 2, 64) }'
done
