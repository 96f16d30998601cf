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
}

expect_output() {
    [[ $status -eq 0 ]] || fail "exit status $status"
    [[ "$out" == "$1" ]] || fail "$(printf 'expected:\n%s---\ngot:\n%s---\nstderr:\n%s' "$1" "$out" "$(cat err.bin)")"
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
    command -v script > /dev/null || exit 77
    printf ':00000001FF\r\n' > eof.hex
    (sleep 1; printf 'k') | timeout 10 script -qec "$(printf '%q ' ${CRCSTAMP_EMULATOR:-} "$tool") eof.hex" /dev/null > out.bin
    status=$?
    out=$(tr -d '\r' < out.bin; echo .)
    out=${out%.}
    expect_output $'eof.hex\n00000000\nFE\nPress any key to continue . . . \n'
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
