#!/usr/bin/env bash
# End-to-end cases: the built tool run on files; its exact output, its exit
# status and the file's bytes afterwards.
# usage: cli_test.sh CASE TOOL SAMPLE_HEX VERSION
# CRCSTAMP_EMULATOR, when set, runs a cross-built tool (wine for the .exe).
# A case that this machine cannot run exits 77, which CTest reports as skipped.
set -u
case_name=$1 tool=$2 sample=$3 version=$4 emulator=${CRCSTAMP_EMULATOR:-}
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

ex=':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000828\r\n:02001000B0B18D\r\n:04004000C0C1C2C3B6\r\n:02004200D0D11B\r\n:00000001FF\r\n'
stamped=${ex/C0C1C2C3B6/AF29C0D351}
crc=$'C0D3AF29\n51\n'
not_written="${crc}file not written"$'\n'

fail() { printf '%s\n' "$*"; exit 1; }
skip_unless() { "$@" > /dev/null 2>&1 || exit 77; }
native_only() { [[ -z $emulator ]] || exit 77; }

# run [ARGS...]: sets $status and $out, the output without CRs. On Windows a
# run ends with the prompt of `pause`, once, at the very end: it is checked
# and dropped. --help and --version never wait.
stdin=/dev/null launcher=
run() {
    $launcher $emulator "$tool" "$@" < "$stdin" > out.bin 2> err.bin
    status=$?
    out=$(tr -d '\r' < out.bin; echo .)
    out=${out%.}
    [[ -z $emulator ]] && return
    if [[ ${1-} == --help || ${1-} == --version ]]; then
        [[ $out != *'Press any key'* ]] || fail "$1 waited for a key"
    else
        [[ $out == *'Press any key to continue'* ]] || fail "no pause prompt at the end: $out"
        out=${out%Press any key to continue*}
    fi
}

# expect STATUS OUTPUT [FILE FORMAT]: the last run's status and output, and
# FILE's bytes (as printf FORMAT gives them); no temporary file left behind.
expect() {
    [[ $status == "$1" && $out == "$2" ]] ||
        fail "$(printf 'expected status %s:\n%s---\ngot %s:\n%s---\n%s' "$1" "$2" "$status" "$out" "$(cat err.bin)")"
    if (($# > 2)); then
        printf "$4" > expected.bin
        cmp -- "$3" expected.bin || fail "$3 is not as expected: $(od -c -- "$3" | head -20)"
    fi
    [[ -z $(find . -name '.crcstamp-*') ]] || fail "temporary file left behind"
}

case $case_name in
stamp)
    printf "$ex" > fw.hex
    run fw.hex
    expect 0 "fw.hex"$'\n'"$crc" fw.hex "$stamped"
    run fw.hex  # the CRC does not cover its own slot
    expect 0 "fw.hex"$'\n'"$crc" fw.hex "$stamped"
    # LF ends become CR LF; NUL and 0x1A, one at the very end, are ordinary bytes.
    odd=${ex//\\r/}
    odd=${odd/:04000000/\\0\\x1a note\\n:04000000}\\x1a
    printf "$odd" > odd.hex
    run odd.hex
    expect 0 "odd.hex"$'\n'"$crc" odd.hex "$(sed 's/\\n/\\r\\n/g; s/C0C1C2C3B6/AF29C0D351/' <<< "$odd")"
    ;;
sample)
    cp "$sample" firmware.hex
    run firmware.hex
    expect 0 $'firmware.hex\n1EA9E24C\nFD\n'
    ;;
names)
    # Only an exact option is one; anything else is the file name, whole.
    printf "$ex" > -a.hex
    printf "$ex" > 'a b.hex'
    run -a.hex
    expect 0 "-a.hex"$'\n'"$crc" -a.hex "$stamped"
    run 'a b.hex' ignored.hex
    expect 0 "a b.hex"$'\n'"$crc" 'a b.hex' "$stamped"
    # From stdin: one word, leading blanks skipped, the rest unread.
    printf '  \t -a.hex   second.hex\n' > stdin.txt
    stdin=stdin.txt
    run --check
    expect 0 "-a.hex"$'\n'"${crc}CRC matches"$'\n'
    stdin=/dev/null
    run
    expect 1 $'\nfile not found\n'
    ;;
unicode_path)
    # Outside the ANSI code page, as a drag and drop hands it over.
    mkdir -p 'Prüfung/測試'
    printf "$ex" > 'Prüfung/測試/fw.hex'
    run 'Prüfung/測試/fw.hex'
    expect 0 "Prüfung/測試/fw.hex"$'\n'"$crc" 'Prüfung/測試/fw.hex' "$stamped"
    ;;
stdin_code_page)
    # A typed or piped name comes in the console's code page: ü is 0x81 in 437 and 850.
    [[ -n $emulator ]] || exit 77
    mkdir Prüfung
    printf "$ex" > Prüfung/fw.hex
    printf 'Pr\x81fung\\fw.hex\r\n' > name.txt
    stdin=name.txt
    run
    expect 0 "Prüfung\\fw.hex"$'\n'"$crc" Prüfung/fw.hex "$stamped"
    ;;
help_and_version)
    run --help
    [[ $status == 0 && $out == usage:*crcstamp\ --check\ FILE*'Exit status'* ]] || fail "--help: $status $out"
    run --version
    expect 0 "crcstamp $version"$'\n'
    ;;
check)
    printf "${stamped/AF29C0D351/af29c0d351}" > lower.hex  # another tool's digits
    printf "$ex" > blank.hex
    printf "${stamped/AF29C0D351/AF29C0D352}" > wrong.hex
    printf ':00000001FF\r\n' > none.hex
    touch -d @1000000000 ./*.hex
    sha256sum ./*.hex > sums
    for t in 'lower 0 CRC matches' 'blank 1 CRC does not match' 'wrong 1 CRC does not match'; do
        set -- $t
        run --check "$1.hex"
        expect "$2" "$1.hex"$'\n'"$crc${*:3}"$'\n'
    done
    run --check none.hex
    expect 1 $'none.hex\n00000000\nFE\nCRC record not found\n'
    sha256sum -c --quiet sums || fail "--check changed a file"
    [[ $(stat -c %Y ./*.hex | sort -u) == 1000000000 ]] || fail "--check touched a file"
    ;;
failures)
    # Each fails with status 1 and leaves the file exactly as it was.
    printf ':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000829\r\n' > bad.hex
    printf ':04000000000000FFFD\r\n:020000040003F7\r\n:02000000AABB99\r\n' > big.hex
    printf ':00000001FF\r\n' > eof.hex
    printf "${ex//\\n/}" > cr.hex  # lone CR ends: one line, no record to stamp
    sha256sum ./*.hex > sums
    mkdir dir.hex
    for t in 'missing.hex|file not found' 'dir.hex|file not found' \
        'bad.hex|File Format incorrect, checksum, Line : 3' \
        'big.hex|File Format incorrect, image too large, Line : 3' \
        $'eof.hex|00000000\nFE\nCRC record not found' "cr.hex|${crc}CRC record not found"; do
        run "${t%%|*}"
        expect 1 "${t%%|*}"$'\n'"${t#*|}"$'\n'
    done
    sha256sum -c --quiet sums || fail "a refused file changed"
    ;;
waits_for_key_on_terminal)
    # On a terminal the prompt comes last, and a key ends the run.
    native_only
    skip_unless command -v script
    printf "$ex" > fw.hex
    # The wait drops keys typed ahead, so a key is pressed each second until it ends.
    (for _ in 1 2 3 4 5 6 7 8; do sleep 1; printf 'k'; done 2> /dev/null) |
        timeout 10 script -qec "$(printf '%q' "$tool") --check fw.hex" /dev/null > out.bin
    status=$?
    out=$(tr -d '\r' < out.bin)
    expect 1 "fw.hex"$'\n'"${crc}CRC does not match"$'\n'"Press any key to continue . . . "
    ;;
permissions_and_link_kept)
    native_only
    mkdir real
    printf "$ex" > real/fw.hex
    chmod 640 real/fw.hex
    ln -s real/fw.hex link.hex
    run link.hex
    expect 0 "link.hex"$'\n'"$crc" real/fw.hex "$stamped"
    [[ -L link.hex && $(readlink link.hex) == real/fw.hex ]] || fail "the link was replaced"
    [[ $(stat -c %a real/fw.hex) == 640 ]] || fail "mode is now $(stat -c %a real/fw.hex)"
    ;;
read_only_file)
    printf "$ex" > fw.hex
    chmod a-w fw.hex
    run fw.hex
    expect 1 "fw.hex"$'\n'"$not_written" fw.hex "$ex"
    ;;
file_size_limit)
    # The new file outgrows the limit: with SIGXFSZ ignored the write fails,
    # without it the tool is killed in the middle of its write.
    native_only
    cp "$sample" firmware.hex
    (trap '' XFSZ; ulimit -f 8; run firmware.hex; declare -p out status > result.sh)
    source result.sh
    expect 1 $'firmware.hex\n1EA9E24C\nFD\nfile not written\n'
    (ulimit -f 8; "$tool" firmware.hex < /dev/null > out.bin 2>&1)
    status=$?
    ((status > 128)) || fail "expected a kill, got exit status $status"
    cmp firmware.hex "$sample" || fail "the original changed"
    ;;
immutable_file_and_directory)
    native_only
    mkdir locked
    printf "$ex" > fw.hex
    printf "$ex" > locked/fw.hex
    skip_unless chattr +i fw.hex locked
    run fw.hex
    first="$status $out"
    run locked/fw.hex
    chattr -i fw.hex locked
    [[ $first == "1 fw.hex"$'\n'"$not_written" ]] || fail "immutable file: $first"
    expect 1 "locked/fw.hex"$'\n'"$not_written" locked/fw.hex "$ex"
    expect 1 "locked/fw.hex"$'\n'"$not_written" fw.hex "$ex"
    ;;
root_without_capabilities)
    # Root that cannot override permissions cannot write into a 0555 folder.
    native_only
    [[ $(id -u) == 0 ]] || exit 77
    launcher='setpriv --bounding-set=-dac_override,-dac_read_search,-fowner --inh-caps=-all'
    skip_unless $launcher true
    mkdir closed
    printf "$ex" > closed/fw.hex
    chmod 555 closed
    run closed/fw.hex
    expect 1 "closed/fw.hex"$'\n'"$not_written" closed/fw.hex "$ex"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
