#!/usr/bin/env bash
# Times whole runs of crcstamp on the largest file it takes against the bare
# floor of its job (bench/floor.c: read the file, write it to a temporary
# file, flush, rename, flush the folder; C, nothing extra), alternately, also
# against the same floor linked statically and prefaulting its buffer as
# crcstamp is and does, and
# its start-up (a run on a missing file) against an empty C program. Prints
# the medians, the ratio, the start-up difference and the peak memory.
# usage: bench/whole_run.sh BUILD_DIR [RUNS]   (a build with -DCRCSTAMP_BENCH=ON)
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-101}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/crcstamp-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

cc -O2 -o "$work/floor" "$here/floor.c"
cc -O2 -static -o "$work/floor_static" "$here/floor.c"
cc -O2 -o "$work/alternate" "$here/alternate.c"
"$build/bench/make_firmware_hex" full > "$work/full.hex"
cp "$work/full.hex" "$work/floor.hex"
echo "file: $(wc -c < "$work/full.hex") bytes, $(wc -l < "$work/full.hex") lines; $runs runs of each"

read -r tool floor ratio tool_kib _ < <("$work/alternate" "$runs" "$build/crcstamp" "$work/full.hex" -- \
    "$work/floor" "$work/floor.hex")
read -r tool2 floor2 ratio2 _ < <("$work/alternate" "$runs" "$build/crcstamp" "$work/full.hex" -- \
    "$work/floor_static" "$work/floor.hex" --prefault)
read -r start empty _ < <("$work/alternate" "$runs" "$build/crcstamp" "$work/missing.hex" -- "$work/floor")

echo "whole run: crcstamp ${tool} us, floor ${floor} us, ratio ${ratio} (target: at most 1.15)"
echo "           crcstamp ${tool2} us, floor linked statically and prefaulting as crcstamp is ${floor2} us, ratio ${ratio2}"
echo "start-up:  crcstamp ${start} us, empty C program ${empty} us, difference $((start - empty)) us (target: 300 us)"
echo "peak memory of a whole run: ${tool_kib} KiB (target: at most 4096 KiB)"
