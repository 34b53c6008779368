#!/usr/bin/env bash
# Installs the built tree into temporary prefixes, plain and stripped, and
# packs a .deb: each installed program must pass its own check and run.
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

cmake --install "$build" --prefix "$work/stripped" --strip > /dev/null || failed=1
runs "stripped install" "$work/stripped/bin/korvalen"
if readelf -SW "$work/stripped/bin/korvalen" | grep -q -F .symtab; then
    echo "stripped install: the program was not stripped"
    failed=1
fi

(cd "$build" && cpack -G DEB -B "$work/package" > /dev/null) || { echo "cpack failed"; failed=1; }
deb=$(ls "$work"/package/*.deb 2>/dev/null | head -1)
if [ -z "$deb" ]; then
    echo "no .deb was made"
    exit 1
fi
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/korvalen ./usr/share/man/man1/korvalen.1; do
    grep -q -F " $path" <<< "$contents" || { echo "the .deb lacks $path"; failed=1; }
done
dpkg-deb -x "$deb" "$work/unpacked"
runs "packaged program" "$work/unpacked/usr/bin/korvalen"
exit $failed
