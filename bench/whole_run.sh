#!/usr/bin/env bash
# Times whole runs of crcstamp on the largest file it takes, against the floor
# of its job (read the file, write it to a temporary file, flush, rename), in
# alternation, and reports the medians, their ratio and crcstamp's peak memory.
# usage: bench/whole_run.sh BUILD_DIR [RUNS]   (a build with -DCRCSTAMP_BENCH=ON)
set -euo pipefail
build=$1
runs=${2:-31}
work=$(mktemp -d "${TMPDIR:-/tmp}/crcstamp-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/bench/make_firmware_hex" full > "$work/full.hex"
cp "$work/full.hex" "$work/floor.hex"
echo "file: $(wc -c < "$work/full.hex") bytes, $(wc -l < "$work/full.hex") lines"

elapsed_us() {  # COMMAND...: microseconds of wall time
    local start end
    start=$(date +%s%N)
    "$@" < /dev/null > /dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

tool_times=()
floor_times=()
for ((i = 0; i < runs; ++i)); do
    tool_times+=("$(elapsed_us "$build/crcstamp" "$work/full.hex")")
    floor_times+=("$(elapsed_us "$build/bench/file_floor" "$work/floor.hex")")
done
tool=$(printf '%s\n' "${tool_times[@]}" | median)
floor=$(printf '%s\n' "${floor_times[@]}" | median)
peak_kib=$(/usr/bin/time -v "$build/crcstamp" "$work/full.hex" < /dev/null 2>&1 > /dev/null |
    awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')

echo "crcstamp median: ${tool} us over $runs runs"
echo "floor median:    ${floor} us"
awk -v t="$tool" -v f="$floor" 'BEGIN { printf "ratio:           %.2f (target: within 1.5)\n", t / f }'
echo "peak memory:     ${peak_kib} KiB (target: under 8192 KiB)"
