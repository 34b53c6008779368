#!/usr/bin/env bash
# The program checks its own loaded image at every start: an intact copy
# runs wherever and however it is started, stripped or signed; a damaged
# one refuses to run with status 3 and one line.
#   self_check.sh PROGRAM GROUP
# GROUP: copies, windows_paths, without_proc, execute_only, through_loader,
# stripped, flipped_bytes. A group whose tool is missing skips (status 77).
# KORVALEN_RUNNER: see runner.sh.
set -u
program=$(realpath "$1")
group=$2
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
refusal="korvalen: the program file is damaged; please reinstall korvalen"
help_line="korvalen  infile \[-f\]"

source "$here/runner.sh"

skip() {
    echo "skipped: $1"
    exit 77
}
needs() { # tool...
    local tool
    for tool in "$@"; do
        command -v "$tool" > /dev/null || skip "$tool is not installed"
    done
}
# Runs a command line with no argument for the program; sets $status.
start() {
    # In a subshell of its own, whose shell keeps quiet about a crash.
    (
        # A damaged copy may loop for ever where the damage hits what runs
        # before the check can guard itself: bounded, it ends with 124.
        timeout 30 "$@" > "$work/out" 2> "$work/err" < /dev/null
        exit $?
    ) 2> /dev/null
    status=$?
}
ran_intact() {
    [ "$status" = 2 ] && grep -q "$help_line" "$work/err"
}
refused() {
    [ "$status" = 3 ] && [ ! -s "$work/out" ] && [ "$(tr -d '\r' < "$work/err")" = "$refusal" ]
}
expect_runs() { # name, command...
    local name=$1
    shift
    start "$@"
    ran_intact && return
    echo "$name: status $status, expected the help screen and 2"
    head -c 300 "$work/err"
    failed=1
}
expect_refuses() { # name, command...
    local name=$1
    shift
    start "$@"
    refused && return
    echo "$name: status $status, expected 3 and the one line"
    head -c 300 "$work/err"
    failed=1
}
# Changes the byte at offset of file by xor with mask.
flip() { # file, offset, mask
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "\\$(printf '%03o' $((byte ^ $3)))" |
        dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}
is_windows_program() {
    [ "$(head -c 2 "$program")" = MZ ]
}
copy() { # name of the copy
    cp "$program" "$1" && chmod 755 "$1"
}

case $group in
copies)
    mkdir elsewhere links
    copy elsewhere/korvalen.exe
    expect_runs "a copy in another folder" "${runner[@]}" "$work/elsewhere/korvalen.exe"
    ln -s ../elsewhere/korvalen.exe links/kv.exe
    expect_runs "through a symbolic link" "${runner[@]}" "$work/links/kv.exe"
    # A signature appended to the file is not loaded, so it is not checked.
    copy signed.exe
    head -c 3000 /dev/urandom >> signed.exe
    expect_runs "a signature appended" "${runner[@]}" ./signed.exe
    copy message.exe
    at=$(grep -obUa "Possible record lengths" message.exe | head -1 | cut -d: -f1)
    flip message.exe "$at" 0x20
    expect_refuses "one byte of a message changed" "${runner[@]}" ./message.exe
    ;;
windows_paths)
    # Paths that a file name of the ANSI code page could not reach.
    is_windows_program || skip "only a Windows program has paths of these limits"
    deep=$work/$(printf 'd%.0s' {1..100})/$(printf 'e%.0s' {1..100})/$(printf 'f%.0s' {1..60})
    mkdir -p "$deep" && copy "$deep/korvalen.exe"
    expect_runs "a path of ${#deep} characters and more" "${runner[@]}" "$deep/korvalen.exe"
    mkdir "Ελληνικά 中文" && copy "Ελληνικά 中文/korvalen.exe"
    expect_runs "a folder outside the ANSI code page" "${runner[@]}" "$work/Ελληνικά 中文/korvalen.exe"
    ;;
without_proc)
    needs unshare
    ! grep -aq __asan_init "$program" || skip "AddressSanitizer's runtime needs /proc"
    copy korvalen
    unshare -m sh -c 'mount -t tmpfs none /proc' 2> /dev/null ||
        skip "cannot unshare the mount namespace here"
    expect_runs "with no /proc" unshare -m sh -c \
        'mount -t tmpfs none /proc && [ ! -e /proc/self/exe ] && exec ./korvalen'
    ;;
execute_only)
    needs setpriv
    [ "$(id -u)" = 0 ] || skip "only root can run the program as nobody"
    # Nobody may pass through the folders but not list them, and may run
    # the program but not read it.
    chmod 0711 "$work"
    mkdir locked && copy locked/korvalen && chmod 0711 locked locked/korvalen
    as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    if "${as_nobody[@]}" cat locked/korvalen > /dev/null 2>&1; then
        echo "nobody can read the program; the case proves nothing"
        exit 1
    fi
    expect_runs "execute-only, as nobody" "${as_nobody[@]}" "$work/locked/korvalen"
    ;;
through_loader)
    needs readelf
    loader=$(readelf -lW "$program" 2> /dev/null |
        sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
    [ -n "$loader" ] || skip "the program has no dynamic loader"
    expect_runs "started by its loader" "$loader" "$program"
    ;;
stripped)
    needs strip
    copy plain.exe && strip plain.exe
    expect_runs "stripped" "${runner[@]}" ./plain.exe
    copy packaged.exe
    strip --remove-section=.comment --remove-section=.note --strip-unneeded packaged.exe
    expect_runs "stripped as a Debian package is" "${runner[@]}" ./packaged.exe
    for stripped in plain.exe packaged.exe; do
        ! cmp -s "$program" "$stripped" || { echo "strip left $stripped as it was"; failed=1; }
    done
    ;;
flipped_bytes)
    # Random bytes of the code and read-only data, and every byte of the
    # ELF header but the fields strip rewrites. A flip in what runs before
    # the check can guard itself (the start code, the guard's own set-up)
    # may end the program otherwise, or keep it from ending; so may a
    # flip in the check's own digest of the code. No flip may let it run
    # as intact.
    needs objdump nm timeout
    startup='^(digest_|find_seal|check_program_file|\(anonymous namespace\)::(digest_|take_in_blocks|sealed)|_start|_init|frame_dummy|register_tm_clones|__libc_csu_init|_GLOBAL__sub_I|_sub_I_|platform_treat_faults_as|__tmainCRTStartup|mainCRTStartup|__main|__do_global_ctors|__cpu_indicator_init|pre_c_init|pre_cpp_init|_pei386_runtime_relocator)'
    read_only=.rodata
    is_windows_program && read_only=.rdata
    sections=$(objdump -h "$program" | awk -v ro="$read_only" \
        '$2 == ".text" || $2 == ro {print $3, $4, $6}')
    # Start-up functions as file offsets: start and end.
    text_address=$(awk 'NR == 1 {print $2}' <<< "$sections")
    text_offset=$(awk 'NR == 1 {print $3}' <<< "$sections")
    # A section of start-up code named for itself alone, with no size (a
    # Windows program's constructors from the compiler's runtime, such as
    # the processor's features read before main), reaches to the next
    # symbol.
    as_offset() { echo $((0x$1 - 0x$text_address + 0x$text_offset)); }
    nm -C -S -n --defined-only "$program" 2> /dev/null |
        while read -r address size type name; do
            # nm pads a size to the address's width; a line without one
            # has the type where the size would be.
            if ! [[ $size =~ ^[0-9a-f]{8,}$ ]]; then
                name="$type${name:+ $name}"
                size=
            fi
            if [ -n "${open_from:-}" ] && [ $((0x$address)) -gt $((0x$open_from)) ]; then
                echo "$(as_offset "$open_from") $(as_offset "$address")"
                open_from=
            fi
            if [ -z "$size" ]; then
                [ "$name" = .text.startup ] && open_from=$address
                continue
            fi
            [[ $name =~ $startup ]] || continue
            echo "$(as_offset "$address") $(as_offset "$address")" |
                awk -v size=$((0x$size)) '{print $1, $2 + size}'
        done > startup_ranges
    in_startup() { # offset
        local from to
        while read -r from to; do
            [ "$1" -ge "$from" ] && [ "$1" -lt "$to" ] && return 0
        done < startup_ranges
        return 1
    }
    offsets=()
    RANDOM=4242
    count=200
    [ ${#runner[@]} = 0 ] || count=6
    for ((i = 0; i < count; i++)); do
        read -r size address offset < <(sed -n "$((i % 2 + 1))p" <<< "$sections")
        offsets+=($((0x$offset + (RANDOM * 32768 + RANDOM) % 0x$size)))
    done
    header=()
    if ! is_windows_program; then
        for ((at = 0; at < 64; at++)); do
            ((at >= 40 && at < 48 || at >= 60)) || header+=("$at")
        done
    fi
    refusals=0
    for at in "${offsets[@]}" header "${header[@]}"; do
        if [ "$at" = header ]; then
            in_header=1
            continue
        fi
        copy flipped.exe
        flip flipped.exe "$at" $((RANDOM % 255 + 1))
        start "${runner[@]}" ./flipped.exe
        if refused; then
            [ -n "${in_header:-}" ] || refusals=$((refusals + 1))
            continue
        fi
        if ran_intact; then
            echo "byte $at flipped: the program ran as if intact"
            failed=1
        elif grep -aqE "Sanitizer|runtime error:" "$work/err"; then
            : # a sanitized build reports damaged code its own way
        elif [ -z "${in_header:-}" ] && ! in_startup "$at"; then
            echo "byte $at flipped: status $status, expected 3 and the one line"
            head -c 300 "$work/err"
            failed=1
        fi
    done
    echo "$refusals of ${#offsets[@]} random flipped bytes refused with the one line"
    ;;
*)
    echo "no group $group"
    exit 2
    ;;
esac
exit $failed
