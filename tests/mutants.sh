#!/usr/bin/env bash
# Makes one-line faults in the detection steps, one at a time, in a copy of
# the tree, builds the unit tests against each and counts the faults they
# catch. Run by hand (it builds a dozen times):
#
#   tests/mutants.sh [BUILD_DIR_FOR_THE_COPY]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d)}
mkdir -p "$work"
copy=$work/tree
rm -rf "$copy" && mkdir -p "$copy"
git -C "$root" ls-files -z | tar -C "$root" --null -T - -cf - | tar -x -C "$copy" || exit 2
cmake -S "$copy" -B "$work/build" -DBUILD_TESTING=ON > /dev/null || exit 2
d=src/survey/detect
# file|sed expression: each changes one line.
mutants=(
    "$d/delimiter_choice.cpp|s/byte == '\\\\t' || byte == '|'/byte == '|'/"
    "$d/header_row.cpp|s/unlike > 0 \&\& alike == 0/unlike > 0/"
    "$d/terminator_choice.cpp|s/FEWEST_OTHER_FOR_MIXED = 2/FEWEST_OTHER_FOR_MIXED = 1/"
    "$d/terminator_choice.cpp|s/if (each.score > most.score)/if (each.score >= most.score)/"
    "$d/encoding_guess.cpp|s/LATIN1_MOST_HIGH_PERCENT = 25/LATIN1_MOST_HIGH_PERCENT = 100/"
    "$d/encoding_guess.cpp|s/MOST_CONTROL_SHARE = 0.01/MOST_CONTROL_SHARE = 0.1/"
    "$d/delimiter_choice.cpp|s/ENDING_SHARE = 0.5/ENDING_SHARE = 1.5/"
    "$d/delimiter_choice.cpp|s/APOSTROPHE_HANDICAP = 2/APOSTROPHE_HANDICAP = 0/"
    "$d/period_search.h|s/DIVISOR_SHARE = 0.8/DIVISOR_SHARE = 1.0/"
    "$d/text_columns.cpp|s/EDGE_SHARE = 0.98/EDGE_SHARE = 0.5/"
    "$d/text_layout.cpp|s/FIXED_RUN_ONE_IN = 4/FIXED_RUN_ONE_IN = 1/"
    "$d/layout_survey.cpp|s/LEAST_TEXT_SHARE_FOR_LINES = 0.97/LEAST_TEXT_SHARE_FOR_LINES = 1.5/"
)
caught=0 tried=0
for mutant in "${mutants[@]}"; do
    file=${mutant%%|*} expression=${mutant#*|}
    cp "$copy/$file" "$work/original"
    sed -i "$expression" "$copy/$file"
    if cmp -s "$copy/$file" "$work/original"; then
        echo "NOT APPLIED  $file: $expression"
        continue
    fi
    tried=$((tried + 1))
    if ! cmake --build "$work/build" --target korvalen_unit_tests -j2 > "$work/build.log" 2>&1; then
        verdict="caught (build)"
        caught=$((caught + 1))
    elif ! "$work/build/tests/korvalen_unit_tests" > "$work/test.log" 2>&1; then
        verdict=caught
        caught=$((caught + 1))
    else
        verdict=SURVIVED
    fi
    printf '%-14s %s: %s\n' "$verdict" "$file" "$expression"
    cp "$work/original" "$copy/$file"
done
echo "$caught of $tried faults caught"
