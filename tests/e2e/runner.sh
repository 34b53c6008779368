# Sourced by the whole-run scripts: how the program is started, and what
# its output looks like on the platform it was built for.
#
# KORVALEN_RUNNER, when set, runs the program (wine for a Windows build).
# KORVALEN_TEXT_MODE, when set, means a CR before every line feed of both
# output streams, as a Windows program's text mode writes them.
runner=()
if [ -n "${KORVALEN_RUNNER:-}" ]; then
    command -v "$KORVALEN_RUNNER" > /dev/null ||
        { echo "SKIP: $KORVALEN_RUNNER is not installed"; exit 77; }
    runner=("$KORVALEN_RUNNER")
fi

# Prints expected output as this build writes it.
as_written() {
    if [ -n "${KORVALEN_TEXT_MODE:-}" ]; then
        perl -pe 's/\n/\r\n/g' "$1"
    else
        cat "$1"
    fi
}

# The path of file $2 of case folder $1: the case's own, or the shared
# fixture that its $2.from names, a file under fixtures/ beside this script.
fixtures=$(dirname "$(realpath "${BASH_SOURCE[0]}")")/fixtures
case_file() { # case folder, name
    if [ -f "$1/$2.from" ]; then
        echo "$fixtures/$(cat "$1/$2.from")"
    else
        echo "$1/$2"
    fi
}
