#!/usr/bin/env bash
# Installs the built tree into temporary prefixes, plain and stripped: each
# installed program must pass its own check and run.
set -u
build=$(realpath "$1")
examples=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

runs() { # name, program
    "$2" "$examples/customers.txt" 0 > /dev/null 2> "$work/err" < /dev/null
    local status=$?
    [ "$status" = 0 ] || { echo "$1: status $status"; cat "$work/err"; failed=1; }
}
has() { # name, file
    [ -s "$2" ] || { echo "$1: $2 is missing"; failed=1; }
}

cmake --install "$build" --prefix "$work/plain" > /dev/null || failed=1
runs "plain install" "$work/plain/bin/korvalen"
has "plain install" "$work/plain/share/man/man1/korvalen.1"
has "plain install" "$work/plain/share/doc/korvalen/README.md"
has "plain install" "$work/plain/share/doc/korvalen/copyright"

cmake --install "$build" --prefix "$work/stripped" --strip > /dev/null || failed=1
runs "stripped install" "$work/stripped/bin/korvalen"
if ! command -v readelf > /dev/null; then
    [ "$failed" = 0 ] && { echo "SKIP: readelf is not installed: is the install stripped?"; exit 77; }
elif readelf -SW "$work/stripped/bin/korvalen" | grep -q -F .symtab; then
    echo "stripped install: the program was not stripped"
    failed=1
fi
exit $failed
