#!/usr/bin/env bash
# A heap that cannot provide the sample: the message, status 6, and no
# report; in the survey too, which asks for its sample with new.
set -u
program=$(realpath "$1")
failing_malloc=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

printf 'a|b\r\n' > ab.dat
# A sanitizer's runtime would otherwise insist on coming first.
LD_PRELOAD=$failing_malloc ASAN_OPTIONS=verify_asan_link_order=0 \
    "$program" ab.dat < /dev/null > out 2> err
status=$?
failed=0
[ "$status" = 6 ] || { echo "status $status, expected 6"; failed=1; }
[ -s out ] && { echo "a report without a sample:"; cat out; failed=1; }
printf '\n\n\n\n\n\n\n\t\tNOT ENOUGH MEMORY\n' > expected
tail -c "$(wc -c < expected)" err | cmp -s expected - ||
    { echo "standard error does not end with the message:"; tail -n 3 err | cat -A; failed=1; }

# A sanitizer's own operator new does not call the preloaded malloc.
if ldd "$program" 2> /dev/null | grep -q libasan; then
    exit $failed
fi
# Standard input is read into a buffer of the whole sample size.
LD_PRELOAD=$failing_malloc "$program" --survey - < ab.dat > out 2> err
status=$?
[ "$status" = 6 ] || { echo "survey: status $status, expected 6"; failed=1; }
[ -s out ] && { echo "survey: a report without a sample:"; cat out; failed=1; }
[ "$(cat err)" = "korvalen: not enough memory" ] ||
    { echo "survey: standard error is not the message:"; cat -A err; failed=1; }
exit $failed
