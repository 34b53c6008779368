#!/usr/bin/env bash
# Packs the built tree as a .deb and reads it as a packager would: what it
# installs, what it depends on, that its program runs, and what lintian
# says of it (an error fails the test; warnings are shown).
set -u
build=$(realpath "$1")
examples=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

for tool in dpkg-deb dpkg-shlibdeps file readelf strip; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
(cd "$build" && cpack -G DEB -B "$work/package" > "$work/cpack.log" 2>&1) ||
    { echo "cpack failed:"; cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/package/*.deb 2> /dev/null | head -1)
[ -n "$deb" ] || { echo "no .deb was made"; exit 1; }

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/korvalen ./usr/share/man/man1/korvalen.1.gz \
    ./usr/share/doc/korvalen/copyright ./usr/share/doc/korvalen/changelog.gz; do
    grep -q -F " $path" <<< "$contents" || { echo "the .deb lacks $path"; failed=1; }
done
# Versioned, as only dpkg-shlibdeps writes them.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libc6 (>= "* ]] ||
    { echo "Depends: '$depends' was not read from the program"; failed=1; }

dpkg-deb -x "$deb" "$work/unpacked"
"$work/unpacked/usr/bin/korvalen" "$examples/customers.txt" 0 > /dev/null 2> "$work/err" < /dev/null
status=$?
[ "$status" = 0 ] || { echo "the packaged program: status $status"; cat "$work/err"; failed=1; }

if ! command -v lintian > /dev/null; then
    [ "$failed" = 0 ] && { echo "SKIP: lintian is not installed"; exit 77; }
    exit 1
fi
lintian --fail-on error --display-info "$deb" 2>&1 | grep -v "running with root privileges"
[ "${PIPESTATUS[0]}" = 0 ] || { echo "lintian found errors"; failed=1; }
exit $failed
