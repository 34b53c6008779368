#!/usr/bin/env bash
# The program checks its own file at every start: an intact copy runs from
# anywhere, a damaged one refuses to run with status 3 and one line.
# KORVALEN_RUNNER: see runner.sh.
set -u
program=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir elsewhere links
failed=0
refusal="korvalen: the program file is damaged; please reinstall korvalen"

source "$here/runner.sh"

expect_runs() { # name, program file, folder to run it in
    (cd "$3" && "${runner[@]}" "$2" > "$work/out" 2> "$work/err" < /dev/null)
    local status=$?
    if [ "$status" != 2 ] || ! grep -q "korvalen  infile \[-f\]" "$work/err"; then
        echo "$1: status $status, expected the help screen and 2"
        failed=1
    fi
}
expect_refuses() { # name, program file
    "${runner[@]}" "$2" > out 2> err < /dev/null
    local status=$?
    if [ "$status" != 3 ] || [ -s out ] || [ "$(tr -d '\r' < err)" != "$refusal" ] ||
        [ "$(wc -l < err)" != 1 ]; then
        echo "$1: status $status, expected 3 and the one line"
        tail -n 3 err
        failed=1
    fi
}

cp "$program" elsewhere/korvalen.exe
expect_runs "a copy in another folder" "$work/elsewhere/korvalen.exe" /
ln -s ../elsewhere/korvalen.exe links/kv.exe
expect_runs "through a symbolic link" "$work/links/kv.exe" "$work"

cp "$program" appended.exe && printf '\n' >> appended.exe
expect_refuses "one byte appended" ./appended.exe

cp "$program" message.exe
at=$(grep -obUa "Possible record lengths" message.exe | head -1 | cut -d: -f1)
printf 'p' | dd of=message.exe bs=1 seek="$at" conv=notrunc status=none
expect_refuses "one byte of a message changed" ./message.exe

# One byte of code that a run without arguments never reaches; the ELF
# tools find it.
[ ${#runner[@]} = 0 ] || exit $failed
cp "$program" code
symbol=$(nm -C code | awk '/ report_candidates\(/ {print $1; exit}')
read -r text_address text_offset < <(readelf -SW code | awk '$2 == ".text" {print $4, $5}')
at=$(( 0x$symbol - 0x$text_address + 0x$text_offset + 4 ))
byte=$(od -An -tu1 -j "$at" -N1 code | tr -d ' ')
printf "\\$(printf '%03o' $(( (byte + 1) % 256 )))" | dd of=code bs=1 seek="$at" conv=notrunc status=none
expect_refuses "one byte of code changed" ./code
exit $failed
