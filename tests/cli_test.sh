#!/usr/bin/env bash
# End-to-end cases: runs the built tool on files and compares its exact output.
# usage: cli_test.sh CASE TOOL DATA_DIR
# CRCSTAMP_EMULATOR, when set, runs a cross-built tool (wine for the .exe).
set -u
case_name=$1
tool=$2
data=$3
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

worked_example=':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000828\r\n:02001000B0B18D\r\n:04004000C0C1C2C3B6\r\n:02004200D0D11B\r\n:00000001FF\r\n'

fail() { printf '%s\n' "$*"; exit 1; }

# run ARGS... : runs the tool with stdin from $stdin_file; $out is its output
# with the console's CRs dropped, $status its exit status.
stdin_file=/dev/null
run() {
    ${CRCSTAMP_EMULATOR:-} "$tool" "$@" < "$stdin_file" > out.bin 2> err.bin
    status=$?
    out=$(tr -d '\r' < out.bin; echo .)
    out=${out%.}
    # On Windows the run ends with the prompt of `pause`, once, at the very end.
    if [[ -n ${CRCSTAMP_EMULATOR:-} ]]; then
        [[ $out == *'Press any key to continue'* ]] || fail "no pause prompt at the end: $out"
        out=${out%Press any key to continue*}
    fi
}

expect_output() {
    [[ $status -eq 0 ]] || fail "exit status $status"
    [[ "$out" == "$1" ]] || fail "$(printf 'expected:\n%s---\ngot:\n%s---\nstderr:\n%s' "$1" "$out" "$(cat err.bin)")"
}

# No temporary file is left beside the HEX file.
expect_no_leftovers() {
    local stray
    stray=$(find . -name '*crcstamp*' | head -5)
    [[ -z $stray ]] || fail "left behind: $stray"
}

expect_file() {  # FILE EXPECTED_BYTES(printf format)
    printf "$2" > expected.bin
    cmp "$1" expected.bin || fail "$1 differs from what was expected: $(od -c "$1" | head -20)"
}

case $case_name in
worked_example)
    printf "$worked_example" > fw.hex
    run fw.hex
    expect_output $'fw.hex\nC0D3AF29\n51\n'
    expect_file fw.hex "${worked_example/C0C1C2C3B6/AF29C0D351}"
    expect_no_leftovers
    ;;
lf_ends_become_crlf)
    printf ':020000040008F2\n:040000001122334452\n:08000200A0A1A2A30040000828\n:04004000C0C1C2C3B6\n:00000001FF' > fw.hex
    run fw.hex
    expect_output $'fw.hex\n236657AC\n30\n'
    expect_file fw.hex ':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000828\r\n:0400400057AC236630\r\n:00000001FF'
    ;;
run_twice)
    cp "$data/firmware.hex" firmware.hex
    run firmware.hex
    cp firmware.hex first.hex
    run firmware.hex
    expect_output $'firmware.hex\n1EA9E24C\nFD\n'
    cmp first.hex firmware.hex || fail "the second run changed the file"
    ;;
permissions_and_link_kept)
    [[ -z ${CRCSTAMP_EMULATOR:-} ]] || exit 77
    mkdir real
    printf "$worked_example" > real/fw.hex
    chmod 640 real/fw.hex
    ln -s real/fw.hex link.hex
    run link.hex
    expect_output $'link.hex\nC0D3AF29\n51\n'
    [[ -L link.hex && $(readlink link.hex) == real/fw.hex ]] || fail "the link was replaced"
    expect_file real/fw.hex "${worked_example/C0C1C2C3B6/AF29C0D351}"
    [[ $(stat -c %a real/fw.hex) == 640 ]] || fail "mode is now $(stat -c %a real/fw.hex)"
    ;;
read_only_file)
    printf "$worked_example" > fw.hex
    chmod a-w fw.hex
    run fw.hex
    expect_output $'fw.hex\nC0D3AF29\n51\nfile not written\n'
    expect_file fw.hex "$worked_example"
    expect_no_leftovers
    ;;
write_fails_on_file_size_limit)
    # The new file outgrows the limit; with SIGXFSZ ignored the write fails.
    [[ -z ${CRCSTAMP_EMULATOR:-} ]] || exit 77
    cp "$data/firmware.hex" firmware.hex
    (trap '' XFSZ; ulimit -f 8; run firmware.hex; declare -p out status > result.sh)
    source result.sh
    expect_output $'firmware.hex\n1EA9E24C\nFD\nfile not written\n'
    cmp firmware.hex "$data/firmware.hex" || fail "the original changed"
    expect_no_leftovers
    ;;
killed_while_writing)
    # Without the trap SIGXFSZ kills the tool in the middle of its write.
    [[ -z ${CRCSTAMP_EMULATOR:-} ]] || exit 77
    cp "$data/firmware.hex" firmware.hex
    (ulimit -f 8; "$tool" firmware.hex < /dev/null > out.bin 2>&1)
    status=$?
    (( status > 128 )) || fail "expected a kill, got exit status $status"
    cmp firmware.hex "$data/firmware.hex" || fail "the original changed"
    ;;
immutable_file_and_directory)
    [[ -z ${CRCSTAMP_EMULATOR:-} ]] || exit 77
    printf "$worked_example" > fw.hex
    chattr +i fw.hex 2> /dev/null || exit 77
    run fw.hex
    chattr -i fw.hex
    expect_output $'fw.hex\nC0D3AF29\n51\nfile not written\n'
    expect_file fw.hex "$worked_example"
    mkdir locked
    printf "$worked_example" > locked/fw.hex
    chattr +i locked
    run locked/fw.hex
    chattr -i locked
    expect_output $'locked/fw.hex\nC0D3AF29\n51\nfile not written\n'
    expect_file locked/fw.hex "$worked_example"
    ;;
root_without_capabilities)
    # Root that cannot override permissions cannot write into a 0555 folder.
    [[ -z ${CRCSTAMP_EMULATOR:-} && $(id -u) == 0 ]] || exit 77
    mkdir closed
    printf "$worked_example" > closed/fw.hex
    chmod 555 closed
    setpriv --bounding-set=-dac_override,-dac_read_search,-fowner --inh-caps=-all true 2> /dev/null || exit 77
    setpriv --bounding-set=-dac_override,-dac_read_search,-fowner --inh-caps=-all \
        "$tool" closed/fw.hex < /dev/null > out.bin 2> err.bin
    status=$?
    out=$(tr -d '\r' < out.bin; echo .)
    out=${out%.}
    expect_output $'closed/fw.hex\nC0D3AF29\n51\nfile not written\n'
    expect_file closed/fw.hex "$worked_example"
    ;;
end_of_file_only)
    printf ':00000001FF\r\n' > eof.hex
    run eof.hex
    expect_output $'eof.hex\n00000000\nFE\n'
    ;;
name_with_space)
    printf "$worked_example" > 'a b.hex'
    run 'a b.hex' ignored.hex
    expect_output $'a b.hex\nC0D3AF29\n51\n'
    ;;
name_from_stdin)
    printf "$worked_example" > fw.hex
    printf '  \t fw.hex   second.hex\n' > stdin.txt
    stdin_file=stdin.txt
    run
    expect_output $'fw.hex\nC0D3AF29\n51\n'
    ;;
empty_stdin)
    run
    expect_output $'\nfile not found\n'
    ;;
missing_file)
    run missing.hex
    expect_output $'missing.hex\nfile not found\n'
    ;;
directory)
    mkdir folder.hex
    run folder.hex
    expect_output $'folder.hex\nfile not found\n'
    ;;
refused_file)
    printf ':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000829\r\n' > bad.hex
    run bad.hex
    expect_output $'bad.hex\nFile Format incorrect, checksum, Line : 3\n'
    expect_file bad.hex ':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000829\r\n'
    ;;
waits_for_key_on_terminal)
    # On a terminal the prompt comes last, and a key ends the run.
    [[ -z ${CRCSTAMP_EMULATOR:-} ]] && command -v script > /dev/null || exit 77
    printf ':00000001FF\r\n' > eof.hex
    (sleep 1; printf 'k') | timeout 10 script -qec "$(printf '%q ' ${CRCSTAMP_EMULATOR:-} "$tool") eof.hex" /dev/null > out.bin
    status=$?
    out=$(tr -d '\r' < out.bin; echo .)
    out=${out%.}
    expect_output $'eof.hex\n00000000\nFE\nPress any key to continue . . . \n'
    ;;
unicode_path)
    # A folder name outside the ANSI code page, as a drag and drop hands it over.
    mkdir -p 'Prüfung/測試'
    printf "$worked_example" > 'Prüfung/測試/fw.hex'
    run 'Prüfung/測試/fw.hex'
    expect_output $'Prüfung/測試/fw.hex\nC0D3AF29\n51\n'
    expect_file 'Prüfung/測試/fw.hex' "${worked_example/C0C1C2C3B6/AF29C0D351}"
    ;;
sample_file)
    cp "$data/firmware.hex" firmware.hex
    run firmware.hex
    expect_output $'firmware.hex\n1EA9E24C\nFD\n'
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
