#!/usr/bin/env bash
# End-to-end cases: runs the built tool on files and compares its exact output
# and the file's bytes afterwards.
# usage: cli_test.sh CASE TOOL DATA_DIR
# CRCSTAMP_EMULATOR, when set, runs a cross-built tool (wine for the .exe).
# A case that this machine cannot run exits 77, which CTest reports as skipped.
set -u
case_name=$1
tool=$2
data=$3
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1
emulator=${CRCSTAMP_EMULATOR:-}

example=':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000828\r\n:02001000B0B18D\r\n:04004000C0C1C2C3B6\r\n:02004200D0D11B\r\n:00000001FF\r\n'
stamped=${example/C0C1C2C3B6/AF29C0D351}
example_output=$'C0D3AF29\n51\n'

fail() { printf '%s\n' "$*"; exit 1; }
skip_unless() { "$@" > /dev/null 2>&1 || exit 77; }
native_only() { [[ -z $emulator ]] || exit 77; }

# Reads out.bin into $out without the console's CRs. On Windows a run ends
# with the prompt of `pause`, once, at the very end: it is checked and dropped.
read_output() {
    out=$(tr -d '\r' < out.bin; echo .)
    out=${out%.}
    if [[ -n $emulator ]]; then
        [[ $out == *'Press any key to continue'* ]] || fail "no pause prompt at the end: $out"
        out=${out%Press any key to continue*}
    fi
}

# run ARGS...: the tool, through $launcher if set, with stdin from $stdin_file.
stdin_file=/dev/null
launcher=
run() {
    $launcher $emulator "$tool" "$@" < "$stdin_file" > out.bin 2> err.bin
    status=$?
    read_output
}

expect_output() {
    [[ $status -eq 0 ]] || fail "exit status $status"
    [[ $out == "$1" ]] || fail "$(printf 'expected:\n%s---\ngot:\n%s---\nstderr:\n%s' "$1" "$out" "$(cat err.bin)")"
}

expect_file() {  # FILE PRINTF_FORMAT_OF_ITS_BYTES
    printf "$2" > expected.bin
    cmp "$1" expected.bin || fail "$1 is not as expected: $(od -c "$1" | head -20)"
}

expect_no_leftovers() {
    local stray
    stray=$(find . -name '*crcstamp*' | head -5)
    [[ -z $stray ]] || fail "temporary files left behind: $stray"
}

case $case_name in
worked_example)
    printf "$example" > fw.hex
    run fw.hex
    expect_output "fw.hex"$'\n'"$example_output"
    expect_file fw.hex "$stamped"
    expect_no_leftovers
    ;;
end_of_file_only)
    printf ':00000001FF\r\n' > eof.hex
    run eof.hex
    expect_output $'eof.hex\n00000000\nFE\n'
    ;;
name_with_space)
    printf "$example" > 'a b.hex'
    run 'a b.hex' ignored.hex
    expect_output "a b.hex"$'\n'"$example_output"
    ;;
name_from_stdin)
    printf "$example" > fw.hex
    printf '  \t fw.hex   second.hex\n' > stdin.txt
    stdin_file=stdin.txt
    run
    expect_output "fw.hex"$'\n'"$example_output"
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
unicode_path)
    # A folder name outside the ANSI code page, as a drag and drop hands it over.
    mkdir -p 'Prüfung/測試'
    printf "$example" > 'Prüfung/測試/fw.hex'
    run 'Prüfung/測試/fw.hex'
    expect_output "Prüfung/測試/fw.hex"$'\n'"$example_output"
    expect_file 'Prüfung/測試/fw.hex' "$stamped"
    ;;
waits_for_key_on_terminal)
    # On a terminal the prompt comes last, and a key ends the run.
    native_only
    skip_unless command -v script
    printf ':00000001FF\r\n' > eof.hex
    # The wait drops keys typed ahead, so a key is pressed each second until it ends.
    (for _ in 1 2 3 4 5 6 7 8; do sleep 1; printf 'k'; done 2> /dev/null) |
        timeout 10 script -qec "$(printf '%q' "$tool") eof.hex" /dev/null > out.bin
    status=$?
    read_output
    expect_output $'eof.hex\n00000000\nFE\nPress any key to continue . . . \n'
    ;;
sample_file)
    cp "$data/firmware.hex" firmware.hex
    run firmware.hex
    expect_output $'firmware.hex\n1EA9E24C\nFD\n'
    ;;
run_twice)
    cp "$data/firmware.hex" firmware.hex
    run firmware.hex
    cp firmware.hex first.hex
    run firmware.hex
    expect_output $'firmware.hex\n1EA9E24C\nFD\n'
    cmp first.hex firmware.hex || fail "the second run changed the file"
    ;;
lf_ends_become_crlf)
    printf ':020000040008F2\n:040000001122334452\n:08000200A0A1A2A30040000828\n:04004000C0C1C2C3B6\n:00000001FF' > fw.hex
    run fw.hex
    expect_output $'fw.hex\n236657AC\n30\n'
    expect_file fw.hex ':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000828\r\n:0400400057AC236630\r\n:00000001FF'
    ;;
nul_and_eof_bytes_kept)
    # NUL and 0x1A are ordinary bytes, a 0x1A at the very end included.
    with_bytes=${example/:04000000/\\0\\x1a note\\r\\n:04000000}\\x1a
    printf "$with_bytes" > fw.hex
    run fw.hex
    expect_output "fw.hex"$'\n'"$example_output"
    expect_file fw.hex "${with_bytes/C0C1C2C3B6/AF29C0D351}"
    ;;
permissions_and_link_kept)
    native_only
    mkdir real
    printf "$example" > real/fw.hex
    chmod 640 real/fw.hex
    ln -s real/fw.hex link.hex
    run link.hex
    expect_output "link.hex"$'\n'"$example_output"
    [[ -L link.hex && $(readlink link.hex) == real/fw.hex ]] || fail "the link was replaced"
    expect_file real/fw.hex "$stamped"
    [[ $(stat -c %a real/fw.hex) == 640 ]] || fail "mode is now $(stat -c %a real/fw.hex)"
    ;;
read_only_file)
    printf "$example" > fw.hex
    chmod a-w fw.hex
    run fw.hex
    expect_output "fw.hex"$'\n'"${example_output}file not written"$'\n'
    expect_file fw.hex "$example"
    expect_no_leftovers
    ;;
write_fails_on_file_size_limit)
    # The new file outgrows the limit; with SIGXFSZ ignored the write fails.
    native_only
    cp "$data/firmware.hex" firmware.hex
    (trap '' XFSZ; ulimit -f 8; run firmware.hex; declare -p out status > result.sh)
    source result.sh
    expect_output $'firmware.hex\n1EA9E24C\nFD\nfile not written\n'
    cmp firmware.hex "$data/firmware.hex" || fail "the original changed"
    expect_no_leftovers
    ;;
killed_while_writing)
    # Without the trap SIGXFSZ kills the tool in the middle of its write.
    native_only
    cp "$data/firmware.hex" firmware.hex
    (ulimit -f 8; "$tool" firmware.hex < /dev/null > out.bin 2>&1)
    status=$?
    (( status > 128 )) || fail "expected a kill, got exit status $status"
    cmp firmware.hex "$data/firmware.hex" || fail "the original changed"
    ;;
immutable_file_and_directory)
    native_only
    mkdir locked
    printf "$example" > fw.hex
    printf "$example" > locked/fw.hex
    skip_unless chattr +i fw.hex locked
    run fw.hex
    first=$out
    run locked/fw.hex
    chattr -i fw.hex locked
    [[ $first == "fw.hex"$'\n'"${example_output}file not written"$'\n' ]] || fail "immutable file: $first"
    expect_output "locked/fw.hex"$'\n'"${example_output}file not written"$'\n'
    expect_file fw.hex "$example"
    expect_file locked/fw.hex "$example"
    ;;
root_without_capabilities)
    # Root that cannot override permissions cannot write into a 0555 folder.
    native_only
    [[ $(id -u) == 0 ]] || exit 77
    launcher='setpriv --bounding-set=-dac_override,-dac_read_search,-fowner --inh-caps=-all'
    skip_unless $launcher true
    mkdir closed
    printf "$example" > closed/fw.hex
    chmod 555 closed
    run closed/fw.hex
    expect_output "closed/fw.hex"$'\n'"${example_output}file not written"$'\n'
    expect_file closed/fw.hex "$example"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
