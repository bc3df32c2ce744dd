#!/bin/bash
# The simulated controller on a pseudo-terminal, reached through the program's real serial
# backend and exchange engine: traditional protocol, FT1.1 and FT1.2 in each CRC mode.
# $1: build folder, $2: source root.
set -u
BUILD=${1:?build folder}
SRC=${2:?source root}
SIM="$BUILD/kvarnik-sim"
[ -x "$SIM" ] || { echo "pty_sim: $SIM is missing"; exit 1; }
PROBE="$BUILD/tests/pty_probe"
[ -x "$PROBE" ] || { echo "pty_sim: $PROBE is missing"; exit 1; }

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
    exec 3>&- 2>/dev/null
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# The client is tests/e2e/pty_probe.cpp, built with the rest of the tests.
failed=0
run() {   # name, simulator options, engine protocol, CRC mode
    local name=$1 opts=$2 prot=$3 crc=$4
    rm -f "$WORK/in" "$WORK/out"
    mkfifo "$WORK/in"
    # The simulator serves until its standard input closes: hold the fifo open on fd 3.
    "$SIM" $opts < "$WORK/in" > "$WORK/out" 2> "$WORK/sim.log" &
    SIM_PID=$!
    exec 3> "$WORK/in"
    local path=""
    for _ in $(seq 1 100); do
        path=$(head -n 1 "$WORK/out" 2>/dev/null)
        [ -n "$path" ] && break
        sleep 0.05
    done
    if [ -z "$path" ] || [ ! -e "$path" ]; then
        echo "FAIL $name: no pseudo-terminal"
        failed=1
    elif out=$(timeout 60 "$PROBE" "$path" "$prot" "$crc"); then
        echo "ok   $name: $out"
    else
        echo "FAIL $name: $out"
        failed=1
    fi
    exec 3>&-
    wait "$SIM_PID" 2>/dev/null
    SIM_PID=""
}

run "traditional" "--model 2 --net 1" 0 0
run "FT1.1" "--protocol ft11 --model 2 --net 1" 2 0
for crc in 0 1 2; do
    run "FT1.2 CRC $crc" "--protocol ft12 --crc $crc --model 2 --net 1" 1 "$crc"
done
run "FT1.2 without counter" "--protocol ft12 --no-counter-echo --model 2 --net 1" 1 0
exit $failed
