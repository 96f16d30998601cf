#!/usr/bin/env bash
# Times whole runs of crcstamp on the largest file it takes against the bare
# floor of its job (bench/floor.c, in C, nothing extra, linked statically as
# crcstamp is: it reads the file and overwrites ten bytes where they stand,
# then flushes it), alternately and on the same file each time, with CR LF
# ends and with LF ends; each also against the floor that prefaults its
# buffer as crcstamp does; and
# its start-up (a run on a missing file) against an empty C program. Prints
# the medians, the ratios, the start-up difference and the peak memory.
# usage: bench/whole_run.sh BUILD_DIR [RUNS]   (a build with -DCRCSTAMP_BENCH=ON)
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-101}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/crcstamp-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

cc -O2 -static -o "$work/floor" "$here/floor.c"
cc -O2 -o "$work/alternate" "$here/alternate.c"
"$build/bench/make_firmware_hex" full > "$work/crlf.hex"
tr -d '\r' < "$work/crlf.hex" > "$work/lf.hex"
echo "file: $(wc -c < "$work/crlf.hex") bytes with CR LF ends, $(wc -l < "$work/crlf.hex") lines; $runs runs of each"

# against ENDS FLOOR_OPTIONS...: the medians, ratio and peaks of crcstamp and the floor on a fresh copy each.
against() {
    local ends=$1
    shift
    "$work/alternate" "$runs" -r "$work/$ends.hex:$work/tool.hex" -r "$work/$ends.hex:$work/floor.hex" \
        "$build/crcstamp" "$work/tool.hex" -- "$work/floor" "$work/floor.hex" "$@"
}
for ends in crlf lf; do
    read -r tool floor ratio kib _ < <(against $ends)
    read -r tool2 floor2 ratio2 _ < <(against $ends --prefault)
    echo "$ends: crcstamp ${tool} us, floor ${floor} us, ratio ${ratio} (target: at most 1.25); peak memory ${kib} KiB"
    echo "      against the floor prefaulting as crcstamp does: ${tool2} us against ${floor2} us, ratio ${ratio2}"
done
read -r start empty _ < <("$work/alternate" "$runs" "$build/crcstamp" "$work/missing.hex" -- "$work/floor")
echo "start-up:        crcstamp ${start} us, empty C program ${empty} us, difference $((start - empty)) us (target: 300 us)"
