#!/usr/bin/env bash
# trace_cost.sh UNIT OBJDUMP ELF QEMU ARGS...: runs the boot check's test program ELF in QEMU (ARGS without
# -kernel) with every executed instruction traced, passes its output and exit status through, and prints what a
# word costs the check and the floor: the executed instructions (UNIT "instructions"), or for the Cortex-M0 their
# cycles by the core's published table, exact for memory without wait states (UNIT "cycles"). The cost of a word is
# the difference between a run over 32 words and one over 16, divided by 16, so that the call around each cancels.
# The entries of rig_mark before and after each run cut the trace: the floor's two runs come first, at the
# program's start, then the check's, and the trace ends after them. The program then runs again, untraced, for its
# verdict.
set -u
unit=$1 objdump=$2 elf=$3 && shift 3
mark=$(nm "$elf" | awk '$3 == "rig_mark" { print $1 }') && mark=$(printf '%08x' $((16#$mark & ~1)))  # Thumb's bit off
trace=$(mktemp -u) && mkfifo "$trace" && trap 'rm -f "$trace"' EXIT
"$@" -singlestep -d exec,nochain -D "$trace" -kernel "$elf" > /dev/null 2>&1 &
costs=$(awk -v mark="$mark" -v unit="$unit" -F '\t' '
    function number(hex,   i, n) { for (i = 1; i <= length(hex); i++) n = n * 16 + index("0123456789abcdef", substr(hex, i, 1)) - 1; return n }
    function registers(list,   n, i, r, parts) {  # {r4, r5, lr} or {r4-r7, lr}
        n = split(list, parts, ",")
        for (i = 1; i <= n; i++) if (split(parts[i], r, "-") == 2) n += substr(r[2], 2) - substr(r[1], 3)
        return n
    }
    function cycles(at, taken,   m, ops) {  # Cortex-M0: ARM DDI 0432C, table 3-1, single-cycle multiplier
        m = op[at]; ops = operands[at]; sub(/[.][nw]$/, "", m)
        if (m ~ /^b(eq|ne|cs|hs|cc|lo|mi|pl|vs|vc|hi|ls|ge|lt|gt|le)$/) return taken ? 3 : 1
        if (m == "b" || m == "bx" || m == "blx") return 3
        if (m == "bl") return 4
        if (m ~ /^(ldm|stm|push)/) return 1 + registers(ops)
        if (m == "pop") return 1 + registers(ops) + 3 * (ops ~ /pc/)
        if (m ~ /^(ldr|str)/) return 2
        if ((m == "mov" || m == "add") && ops ~ /^pc,/) return 3
        return 1
    }
    FILENAME == ARGV[1] {  # the disassembly: "   4a:<tab>f000 f836 <tab>bl<tab>ba <f>"
        if ($1 ~ /^ *[0-9a-f]+:$/) {
            at = $1; gsub(/[ :]/, "", at); at = sprintf("%08s", at); gsub(/ /, "0", at)
            op[at] = $3; operands[at] = $4; next_at[at] = number(at) + 2 * split($2, halves, " ")
        }
        next
    }
    /^Trace/ {  # one a translation block, one instruction each: not the lines of a block stopped before it ran
        split($0, fields, " "); split(fields[4], pc, "/")
        if (previous != "") count += unit == "cycles" ? cycles(previous, number(pc[2]) != next_at[previous]) : 1
        if (pc[2] == mark) { cost[++marks] = count; count = 0; if (marks == 8) exit }
        previous = pc[2]
    }
    END { if (marks == 8) print (cost[8] - cost[6]) / 16, (cost[4] - cost[2]) / 16 }
    ' <([[ $unit == cycles ]] && "$objdump" -d "$elf") "$trace")
kill $! 2> /dev/null  # the rest of the run, traced, would take minutes
read -r check floor <<< "$costs"
[[ -n ${floor-} && $floor != 0 ]] || { echo "no cost counted in the trace"; exit 1; }
echo "$check $unit a word against the floor's $floor: $(awk -v c="$check" -v f="$floor" 'BEGIN { printf "%.2f", c / f }') times"
"$@" -kernel "$elf"
