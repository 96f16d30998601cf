#!/usr/bin/env bash
# End-to-end: the built tool run on files; its output, exit status and the file's bytes afterwards.
# usage: cli_test.sh CASE TOOL SAMPLE_HEX VERSION [EMULATOR], EMULATOR (wine) to run a cross-built tool.
set -u
case_name=$1 tool=$2 sample=$3 version=$4 emulator=${5-} stdin=/dev/null
[[ -z $emulator ]] || export LC_ALL=C.UTF-8 WINEDEBUG=-all
work=$(mktemp -d)
trap 'chattr -i -R "$work" 2> /dev/null; chmod -R u+w "$work"; rm -rf "$work"
    [[ -z ${break_time-} ]] || echo "$break_time" > /proc/sys/fs/lease-break-time' EXIT
cd "$work" || exit 1
ex=':020000040008F2\r\n:040000001122334452\r\n:08000200A0A1A2A30040000828\r\n:02001000B0B18D\r\n:04004000C0C1C2C3B6\r\n:02004200D0D11B\r\n:00000001FF\r\n'
stamped=${ex/C0C1C2C3B6/AF29C0D351} crc='C0D3AF29\n51\n' lf=${ex//\\r/}
stamped_lf=${stamped//\\r/}
fail() { printf '%s\n' "$*"; exit 1; }

# run ARGS... -- STATUS OUTPUT [FILE BYTES [VALUES]]: runs the tool and checks its status, its output without CRs (and
# no prompt: standard input is no console) and FILE's bytes (printf formats).
run() {
    local args=() status out
    while [[ $1 != -- ]]; do args+=("$1") && shift; done
    timeout 120 $emulator "$tool" "${args[@]}" < "$stdin" > out.bin 2> err.bin
    status=$? out=$(tr -d '\r' < out.bin && echo .)
    printf -v want -- "$3."
    [[ $status == "$2" && $out == "$want" ]] || fail "$(printf 'want %s:\n%s\ngot %s:\n%s\n' "$2" "$want" "$status" "$out"; cat err.bin)"
    if (($# > 4)); then printf -- "$5" "${@:6}" > want.bin && cmp -- "$4" want.bin || fail "$4: $(od -c -- "$4" | head)"; fi
}

case $case_name in
runs)
    mkdir -p 'Prüfung/測試'  # outside the ANSI code page, as a drag and drop hands it over
    for file in fw.hex -a.hex 'a b €.hex' 'Prüfung/測試/fw.hex'; do  # an argument, whole, unless an option; € shown as it is
        printf "$ex" > "$file" && run "$file" -- 0 "${file}\n$crc" "$file" "$stamped"
    done
    # Every file named, in turn; one failure fails the run. Options go first, or nothing is touched.
    printf "$ex" | tee 1.hex 3.hex > ro.hex && printf "${ex/D0D11B/D0D11C}" > 2.hex
    run 1.hex 2.hex 3.hex -- 1 "1.hex\n${crc}2.hex\nFile Format incorrect, checksum, Line : 6\n3.hex\n$crc" 2.hex "${ex/D0D11B/D0D11C}"
    cmp 1.hex 3.hex && printf "$stamped" | cmp - 1.hex || fail "1.hex or 3.hex not stamped"
    for args in 'ro.hex --check' '--low-byte-first --Check ro.hex' '--info --check ro.hex'; do  # ro.hex is not touched
        $emulator "$tool" $args < /dev/null > out.bin
        [[ $? == 1 && $(head -n 2 out.bin | tr -d '\r') == @(options go before the file names|unknown option --Check|--check and --info do not go together)$'\nusage: crcstamp [--low-byte-first] FILE...' ]] || fail "$(cat out.bin)"
    done
    # Each word low byte first: another CRC, in the same slot; a check in the other order names the one that matches.
    printf "$ex" > low.hex && run --low-byte-first low.hex -- 0 'low.hex\n83A95A57\nDF\n' low.hex "${ex/C0C1C2C3B6/5A5783A9DF}"
    run --check --low-byte-first low.hex -- 0 'low.hex\n83A95A57\nDF\nCRC matches\n'
    run --check low.hex -- 1 "low.hex\n${crc}CRC does not match
the CRC matches with each word low byte first: crcstamp --low-byte-first --check\n"
    run --low-byte-first --check 1.hex -- 1 '1.hex\n83A95A57\nDF\nCRC does not match
the CRC matches with each word high byte first: crcstamp --check, without --low-byte-first\n'
    printf "$ex" > full.hex && $emulator "$tool" full.hex < /dev/null > /dev/full  # output lost: status 1, but stamped
    [[ $? == 1 ]] && printf "$stamped" | cmp - full.hex || fail "a lost output passed"
    # Line ends stay as they are, LF and CR LF mixed; NUL and 0x1A, one at the very end, are ordinary bytes.
    printf ':020000040008F2\n\0\x1a\r\n:040000001122334452\n:08000200A0A1A2A30040000828\n:04004000C0C1C2C3B6\n:00000001FF\n\x1a' > odd.hex
    run odd.hex -- 0 'odd.hex\n236657AC\n30\n' odd.hex \
        ':020000040008F2\n\0\x1a\r\n:040000001122334452\n:08000200A0A1A2A30040000828\n:0400400057AC236630\n:00000001FF\n\x1a'
    run -- 1 '\nfile not found\n'
    run --version -- 0 "crcstamp $version\n"
    # Failures: status 1, the file as it was. --check never writes, nor touches the file.
    mkdir dir.hex && printf ':00000001FF\r\n' > eof.hex && chmod a-w ro.hex
    run dir.hex ro.hex -- 1 "dir.hex\nfile not found\nro.hex\n${crc}file not written\n" ro.hex "$ex"
    printf '  \t -a.hex   second.hex\n' > stdin.txt
    stdin=stdin.txt run --check -- 0 "-a.hex\n${crc}CRC matches\n" -a.hex "$stamped"  # one word from stdin
    run --check ro.hex eof.hex -- 1 "ro.hex\n${crc}CRC does not match\neof.hex\n00000000\nFE
CRC record not found: no CRC address in the image\n" ro.hex "$ex"
    # The empty forms; a declaration a boot check cannot read as two words; where a refused record is, in lines.
    printf ':05100000AA0010000031\n:0110030001EB\n:00000001FF\n' > odd5.hex && printf "${ex%:00000001FF*}" > cut.hex
    printf ':0410010020010000CA\n\t:04200100FFFFFFFFDF\r\n:04200100FFFFFFFFDF\n:00000001FF\n' > two.hex  # lines count LF
    printf ':0410000020000000CC\n\n# note\n:0410020001020304E1\n' > bad.hex
    run --info eof.hex odd5.hex two.hex bad.hex cut.hex -- 1 'eof.hex\n00000000\nFE\nimage: empty\nentry word: no
CRC address: none\ndeclaration: none\ncovered: nothing\nbyte order: each word high byte first
32-bit units: not suited (nothing covered)\nCRC records: none\nodd5.hex
File Format incorrect, declaration not two whole words, Line : 1\nrecord 1 is on line 1\ntwo.hex\n7D9B998C\n9E
image: words 0x001001 to 0x002002, 8196 bytes\nentry word: no\nCRC address: 0x002001, declared on line 1
declaration: word 0x001001\ncovered: words 0x001001 to 0x002000, 4096 words\nbyte order: each word high byte first
32-bit units: not suited (first covered word at an odd address, an even count)\nCRC records: lines 2, 3\nbad.hex
File Format incorrect, checksum, Line : 2\nrecord 2 is on line 4\ncut.hex\nFile Format incorrect, Line : 7
the file ends before record 7\n'
    if [[ -n $emulator ]]; then  # a typed or piped name comes in the console's code page: ü is 0x81 in 437
        printf "$ex" > Prüfung/fw.hex && printf 'Pr\x81fung\\fw.hex\r\n' > name.txt
        stdin=name.txt run -- 0 "Prüfung\\\\fw.hex\n$crc" Prüfung/fw.hex "$stamped"
        # A console (a pseudo-terminal is one to Wine) gets the prompt at the end, and a key ends the run.
        (for _ in 1 2 3 4 5 6 7 8 9 10; do sleep 1 && printf k; done 2> /dev/null) |
            timeout 30 script -qec "$emulator $(printf %q "$tool") --check eof.hex; echo \$?" /dev/null > out.bin
        [[ $(sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' out.bin | tr -d '\r ') == *'CRCrecordnotfound'*'Pressanykeytocontinue'*1 ]] || fail "$(cat -A out.bin)"
        # A hidden file keeps its attributes, its stream, its inode and its line ends, CR LF or LF.
        printf "$ex%070000d" 0 > hidden.hex && printf "$lf%070000d" 0 > hidden_lf.hex && inodes=$(stat -c %i hidden*.hex)
        $emulator cmd /c "echo meta> hidden.hex:note" && $emulator cmd /c attrib +h hidden.hex && $emulator cmd /c attrib +h hidden_lf.hex
        for file in hidden.hex hidden_lf.hex; do
            [[ $file == hidden.hex ]] && want=$stamped || want=$stamped_lf
            run $file -- 0 "$file\n$crc" $file "$want%070000d" 0  # over a 64 KiB block
            [[ $($emulator cmd /c attrib $file) =~ ^[A-Z\ ]*H ]] || fail "$file is no longer hidden"
        done
        [[ $(stat -c %i hidden*.hex) == "$inodes" && $($emulator cmd /c "more < hidden.hex:note" | tr -d '\r') == meta ]] ||
            fail "not stamped in place, or a stream lost"
    fi
    ;;
native)
    [[ -z $emulator ]] || exit 77
    # On a terminal the prompt comes last, a key (one a second: keys typed ahead are dropped) ends the run.
    printf "$ex" > t.hex
    (for _ in 1 2 3 4 5 6 7 8; do sleep 1 && printf k; done 2> /dev/null) |
        timeout 10 script -qec "$(printf '%q' "$tool") --check t.hex; echo \$?; stty -a" /dev/null > out.bin
    [[ $(tr -d '\r' < out.bin) == "$(printf "t.hex\n${crc}CRC does not match\nPress any key to continue . . . ")"$'\n1\n'*' icanon '*' echo '* ]] ||
        fail "$(cat out.bin)"
    # Every file in place, whatever its line ends: a symbolic link's target keeps its inode, length, mode, ACL,
    # attributes and a second hard link, and only the ten characters change.
    mkdir real && printf "$lf%070000d" 0 > real/fw.hex && chmod 640 real/fw.hex && ln -s real/fw.hex link.hex &&
        ln real/fw.hex hard.hex  # > 64 KiB
    kept() { stat -c '%a %i %s %h' real/fw.hex && getfacl -cp real/fw.hex && getfattr -d real/fw.hex; } 2> /dev/null
    setfacl -m u:nobody:r real/fw.hex 2> /dev/null && setfattr -n user.origin -v build real/fw.hex 2> /dev/null ||
        echo "skipped: no ACL or attribute tools here"
    before=$(kept) && run link.hex -- 0 "link.hex\n$crc" hard.hex "$stamped_lf%070000d" 0
    [[ $(readlink link.hex) == real/fw.hex && $(kept) == "$before" ]] || fail "link, inode, length, mode, ACL or attribute lost"
    # A FIFO is refused without being opened: a program writing into it still waits. Names echoed with their control
    # characters escaped, C1 in UTF-8 too, so that none forges a line or drives the terminal.
    mkfifo pipe.hex && ( (printf data > pipe.hex && : > released) & )
    printf "$ex" | tee $'nl\nCRC matches.hex' $'\e]0;title\a.hex' > $'\xc2\x9b31m.hex'
    run pipe.hex $'nl\nCRC matches.hex' $'\e]0;title\a.hex' $'\xc2\x9b31m.hex' -- 1 "pipe.hex\nfile not found
nl\\\\x0ACRC matches.hex\n$crc\\\\x1B]0;title\\\\x07.hex\n$crc\\\\xC2\\\\x9B31m.hex\n$crc"
    sleep 0.2 && [[ ! -e released && $(cat pipe.hex) == data ]] || fail "the FIFO's writer was let go"
    # Too large for a memory limit: said so, and the run goes on (ASan ends a run on a failed allocation).
    printf "$ex" > t.hex && truncate -s 64M big.hex
    grep -q __asan_init "$tool" || (ulimit -v 40000 && run big.hex t.hex -- 1 "big.hex\nnot enough memory for this file
t.hex\n$crc" t.hex "$stamped") || exit 1
    # A write that would pass the file size limit: not one record written, not even one below it.
    printf "${ex%:00000001FF*}%9000s\r\n:04004000C0C1C2C3B6\r\n:00000001FF\r\n" '' > slots.hex && cp slots.hex slots.bak
    (ulimit -f 8 && "$tool" slots.hex < /dev/null > out.bin)
    [[ $? == 1 && $(cat out.bin) == "$(printf "slots.hex\n${crc}file not written")" ]] && cmp slots.hex slots.bak ||
        fail "past the size limit: $(cat out.bin)"
    # An immutable folder holds no stamp back; an immutable file is not written.
    mkdir locked && printf "$ex" > ro.hex && printf "$lf" > locked/lf.hex
    if chattr +i ro.hex locked 2> /dev/null; then
        run locked/lf.hex ro.hex -- 1 "locked/lf.hex\n${crc}ro.hex\n${crc}file not written\n" locked/lf.hex "$stamped_lf"
        printf "$ex" | cmp - ro.hex || fail "an immutable file was changed"
    else echo "skipped: no chattr here"; fi
    # A closed stdout is no file's, and fails the run.
    printf "$ex" > a.hex && printf "$lf" > b.hex && "$tool" a.hex b.hex < /dev/null >&-
    [[ $? == 1 && $(cat a.hex b.hex) == "$(printf "$stamped$stamped_lf")" ]] || fail "closed stdout"
    command -v strace > /dev/null && strace -o /dev/null true 2> /dev/null || { echo "skipped: no strace here"; exit 0; }
    # staged CALLS INJECT ACTION... -- ARGS... STATUS OUTPUT: the tool, CALLS held or failed; ACTION k in call k.
    staged() {
        local calls=$1 inject=$2 actions=() k=0 tries && shift 2
        while [[ $1 != -- ]]; do actions+=("$1") && shift; done && shift && : > trace.log
        local files=() && for file in "${@:1:$#-2}"; do files+=(-P "$PWD/$file"); done  # its calls on them, not a runtime's
        ASAN_OPTIONS=detect_leaks=0 strace -qq -o trace.log -e signal=none -e trace="$calls" -e inject="$calls:$inject" "${files[@]}" \
            "$tool" "${@:1:$#-2}" < /dev/null > out.bin 2>&1 &
        for action in "${actions[@]}"; do
            for ((k++, tries = 0; $(grep -c "" trace.log) < k && tries < 200; tries++)); do sleep 0.05; done
            eval "$action"
        done
        wait $! && status=0 || status=$?
        printf -v want -- "${@: -1}" && [[ $status == "${@: -2:1}" && $(cat out.bin) == "${want%$'\n'}" ]] || fail "$status $(cat out.bin)"
    }
    # A kill at any of the tool's calls on the file leaves the old text or the stamped one.
    printf "$lf" > k.hex && export ASAN_OPTIONS=detect_leaks=0 && strace -qq -o calls.log -P "$PWD/k.hex" "$tool" k.hex < /dev/null > /dev/null
    declare -A seen=() && while read -r call; do
        call=${call%%(*} && seen[$call]=$((${seen[$call]-0} + 1)) && printf "$lf" > k.hex
        strace -qq -o /dev/null -P "$PWD/k.hex" -e inject="$call:signal=SIGKILL:when=${seen[$call]}" "$tool" k.hex < /dev/null > /dev/null
        cmp -s k.hex <(printf "$lf") || cmp -s k.hex <(printf "$stamped_lf") || fail "killed at $call ${seen[$call]}: $(cat k.hex)"
    done < calls.log 2> /dev/null  # no word of each kill
    (($(grep -c . calls.log) > 8)) || fail "too few calls on the file traced: $(cat calls.log)"
    # beside ARGS...: the tool in the background; settled OUTPUT: what it printed and its exit status, once it ends.
    beside() { ( ("$tool" "$@" < /dev/null > beside.out 2>&1; echo "exit $?" >> beside.out) & ); }
    settled() { for ((t = 0; t < 100; t++)); do grep -q '^exit' beside.out && break; sleep 0.1; done
        printf -v want -- "$1" && [[ $(cat beside.out) == "$want" ]] || fail "beside: $(cat beside.out)"; }
    # Another run's open waits for the stamp: a check sees it, a second stamp finds it done.
    hold=delay_enter=1000000 changed='file changed while stamping, not written'
    printf "$lf" | tee c.hex > s.hex
    staged pwrite64 $hold 'beside --check c.hex' -- c.hex 0 "c.hex\n$crc" && settled "c.hex\n${crc}CRC matches\nexit 0"
    staged pwrite64 $hold 'beside s.hex' -- s.hex 0 "s.hex\n$crc" && settled "s.hex\n${crc}exit 0"
    printf "$stamped_lf" | cmp - s.hex || fail "two stamps left $(cat s.hex)"
    # A writer waits and lands whole; an editor's save by rename, or vim's (the file renamed away, a new one
    # written), survives, and the path's file is said not to be written.
    printf "$ex" > w1.hex && printf "$lf" | tee w2.hex > w3.hex
    staged pwrite64 $hold '(printf mine > w1.hex &)' 'printf edited > new.hex && mv new.hex w2.hex' \
        'mv w3.hex w3.hex~ && printf saved > w3.hex' -- w1.hex w2.hex w3.hex 1 "w1.hex\n${crc}w2.hex\n$crc$changed\nw3.hex\n$crc$changed"
    sleep 0.2 && [[ $(cat w1.hex w2.hex w3.hex) == mineeditedsaved ]] || fail "a writer's change lost: $(cat w?.hex)"
    # Without a lease (the file open elsewhere) a change before the last look wins: an append, an edit with its time
    # set back, a new file renamed in.
    printf "$ex" | tee n1.hex n2.hex > n3.hex && exec 3< n1.hex 4< n2.hex 5< n3.hex
    staged read delay_exit=1000000 'printf + >> n1.hex' 'touch -r n2.hex n.ref && printf X | dd of=n2.hex conv=notrunc 2> /dev/null &&
        touch -r n.ref n2.hex' 'printf theirs > new.hex && mv new.hex n3.hex' -- n1.hex n2.hex n3.hex 1 \
        "n1.hex\n$crc$changed\nn2.hex\n$crc$changed\nn3.hex\n$crc$changed"
    exec 3<&- 4<&- 5<&- && printf "$ex+" | cmp - n1.hex && printf "X${ex#:}" | cmp - n2.hex && [[ $(cat n3.hex) == theirs ]] ||
        fail "a change before the last look lost"
    # A lease lost to a stall longer than the kernel's lease-break time: the writer's text is not taken for a stamp.
    break_time=$(cat /proc/sys/fs/lease-break-time 2> /dev/null)  # put back on exit
    if echo 1 2> /dev/null > /proc/sys/fs/lease-break-time; then
        printf "$ex" > l.hex
        staged pwrite64 delay_enter=3000000 '(printf theirs > l.hex &)' -- l.hex 1 \
            "l.hex\n${crc}file changed while stamping, crcstamp --check tells what it holds now"
        [[ $(head -c 6 l.hex) == theirs ]] || fail "the writer's text lost"
    else echo "skipped: the lease-break time cannot be set here"; fi
    # A failed write: the first leaves the file as it was, a later one is said to have come after another; a failed
    # flush is no "not written".
    printf "${ex%:00000001FF*}:04004000C0C1C2C3B6\r\n:00000001FF\r\n" | tee p.hex > q.hex && printf "$ex" > f.hex
    staged pwrite64 error=EIO -- q.hex 1 "q.hex\n${crc}file not written" && cmp q.hex p.hex || fail "a failed write changed q.hex"
    staged pwrite64 error=EIO:when=2 -- p.hex 1 "p.hex\n${crc}file partly written, crcstamp --check tells what it holds now"
    staged fsync error=EIO -- f.hex 1 "f.hex\n${crc}file written, but not flushed to disk"
    ;;
msi)  # the installer built beside TOOL: installed silently, each verb run on a copy of the sample, uninstalled cleanly
    [[ -n $emulator ]] || exit 77
    msi=${tool%/*}/crcstamp-$version-win64.msi && cmake --build "${tool%/*}" --target msi > /dev/null || fail "no installer"
    win() { $emulator "$@" < /dev/null | tr -d '\r'; }
    traces() {  # the registry's mentions of crcstamp, the system's Path, the folder
        win reg export HKLM hklm.reg /y > /dev/null && iconv -f UTF-16 -t UTF-8 hklm.reg | grep -ci crcstamp
        win reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH && ls "$(win winepath -u 'C:\Program Files\crcstamp')" || :; }
    before=$(traces 2> /dev/null) && [[ $before == 0$'\n'* ]] && printf "$ex" > fw.hex && win msiexec /i "$(win winepath -w "$msi")" /qn ||
        fail "installed already, or not installed: $before"
    for verb in stamp check; do  # as Explorer starts it, with the file's full path for %1
        command=$(win reg query "HKLM\Software\Classes\SystemFileAssociations\.hex\shell\crcstamp.$verb\command" /ve)
        command=${command##*REG_SZ    } && printf '@%s\r\n' "${command//%1/$(win winepath -w fw.hex)}" > verb.bat
        out=$(win cmd /c verb.bat) && [[ $verb == stamp ]] && want=$'C0D3AF29\n51' || want+=$'\nCRC matches'
        [[ ${out#*$'\n'} == "$want" ]] && printf "$stamped" | cmp -s - fw.hex || fail "$verb: $command: $out"
    done
    [[ $(win cmd /c crcstamp --version) == "crcstamp $version" ]] || fail "not on the Path"
    win msiexec /x "$(win winepath -w "$msi")" /qn && [[ $(traces 2> /dev/null) == "$before" ]] || fail "uninstalling left a trace"
    ;;
*) fail "unknown case $case_name" ;;
esac
