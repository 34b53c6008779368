# Sourced by the whole-run scripts: how the program is started, and what
# its output looks like on the platform it was built for.
#
# KORVALEN_RUNNER, when set, runs the program (wine for a Windows build).
# KORVALEN_TEXT_MODE, when set, means a CR before every line feed of both
# output streams, as a Windows program's text mode writes them.
runner=()
[ -n "${KORVALEN_RUNNER:-}" ] && runner=("$KORVALEN_RUNNER")

# Prints expected output as this build writes it.
as_written() {
    if [ -n "${KORVALEN_TEXT_MODE:-}" ]; then
        perl -pe 's/\n/\r\n/g' "$1"
    else
        cat "$1"
    fi
}
