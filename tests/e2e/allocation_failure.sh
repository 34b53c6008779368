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

# A worker thread runs out while the main thread surveys on: the run ends
# from the main thread, once, with the reports done before it whole.
head -c 1500000 /dev/zero | tr '\0' 'x' > big
for n in 1 2 3 4 5 6; do cp big "big$n"; done
KORVALEN_FAIL_OFF_MAIN=1 LD_PRELOAD=$failing_malloc timeout 20 "$program" --json big1 big2 big3 \
    big4 big5 big6 > out 2> err
status=$?
[ "$status" = 6 ] || { echo "worker: status $status, expected 6"; failed=1; }
[ "$(cat err)" = "korvalen: not enough memory" ] ||
    { echo "worker: standard error is not the message once:"; cat -A err; failed=1; }
python3 -c 'import json, sys; [json.loads(line) for line in open(sys.argv[1])]' out ||
    { echo "worker: a report printed in part:"; cat out; failed=1; }
exit $failed
