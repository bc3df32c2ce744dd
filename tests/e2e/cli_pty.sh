#!/bin/bash
# kvarnik-cli against the simulated controller on a pseudo-terminal, through the program's real
# serial backend: a work folder like the demo's with Com1 on the terminal, then version,
# status, clock, a parameter and an hourly archive, and the exit statuses of a usage error and
# of a refused read; then the version and an archive through the simulated CAN adapter.
# $1: build folder, $2: source root.
set -u
BUILD=${1:?build folder}
SRC=${2:?source root}
SIM="$BUILD/kvarnik-sim"
CLI="$BUILD/kvarnik-cli"
for prog in "$SIM" "$CLI"; do
    [ -x "$prog" ] || { echo "cli_pty: $prog is missing"; exit 1; }
done

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
    exec 3>&- 2>/dev/null
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# The controller: model 3 with the demo's parameters, network number 0, traditional protocol,
# with the extra options given. It serves until its standard input closes: hold the fifo open
# on fd 3. Leaves its terminal in $DEV.
start_sim() {
    rm -f "$WORK/in" "$WORK/sim.out"
    mkfifo "$WORK/in"
    "$SIM" --protocol trad --net 0 --model 3 --sprav "$SRC/data/demo/Sprav.txt" "$@" \
        < "$WORK/in" > "$WORK/sim.out" 2> "$WORK/sim.log" &
    SIM_PID=$!
    exec 3> "$WORK/in"
    DEV=""
    for _ in $(seq 1 100); do
        DEV=$(head -n 1 "$WORK/sim.out" 2>/dev/null)
        [ -n "$DEV" ] && break
        sleep 0.05
    done
    if [ -z "$DEV" ] || [ ! -e "$DEV" ]; then
        echo "FAIL: the simulator gave no pseudo-terminal"
        cat "$WORK/sim.log"
        exit 1
    fi
}
stop_sim() {
    exec 3>&-
    kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    SIM_PID=""
}
start_sim

# The work folder: the demo's files (model 3, RS-232, traditional protocol), Com1 on the
# terminal, network number 0. The file is cp1251 with CR LF; only ASCII lines are touched.
DATA="$WORK/data"
cp -r "$SRC/data/demo" "$DATA"
LC_ALL=C sed -i -e "s|^Com1=.*\r\$|Com1=$DEV\r|" -e "s|^SetNumber=.*\r\$|SetNumber=0\r|" "$DATA/kvarnik.ini"
grep -q "^Com1=$DEV" "$DATA/kvarnik.ini" || { echo "FAIL: Com1 not set in kvarnik.ini"; exit 1; }

failed=0
OUT="$WORK/out"
ERR="$WORK/err"
cli() {   # runs kvarnik-cli with the arguments; leaves the exit status in $rc
    timeout 10 "$CLI" --data-dir "$DATA" "$@" > "$OUT" 2> "$ERR"
    rc=$?
}
check() {   # name, condition (shell test of the last run)
    if eval "$2"; then
        echo "ok   $1: $(head -n 1 "$OUT")"
    else
        echo "FAIL $1 (exit $rc): $(head -c 400 "$OUT") / $(head -c 400 "$ERR")"
        failed=1
    fi
}

cli version
check "version" '[ $rc -eq 0 ] && [ "$(cat "$OUT")" = "model=3 version=8.3" ]'

cli status
check "status" '[ $rc -eq 0 ] && [ "$(cat "$OUT")" = "state=РАБОТА status=0x00" ]'

before=$(date '+%Y-%m-%d %H:%M')
cli clock
after=$(date '+%Y-%m-%d %H:%M')
check "clock" '[ $rc -eq 0 ] && { [ "$(cat "$OUT")" = "$before" ] || [ "$(cat "$OUT")" = "$after" ]; }'

# Supply temperature of pipeline 0: a real around 80 degrees, the same value as raw bytes.
cli read 80/01/00 --real
check "read real" '[ $rc -eq 0 ] && grep -Eq "^[0-9]{2}\.[0-9]{3}$" "$OUT"'
cli read 80/01/00 --raw
check "read raw" '[ $rc -eq 0 ] && grep -Eq "^([0-9A-F]{2} ){3}[0-9A-F]{2}$" "$OUT"'

# Yesterday's 24 hours of archive 0 (supply temperature), one line per hour, oldest first.
day=$(date -d yesterday '+%Y-%m-%d')
cli archive hourly 0 --from "$day 00:00" --to "$day 23:00"
expected=$(for h in $(seq -w 0 23); do echo "$day $h:00"; done)
check "archive hourly" '[ $rc -eq 0 ] && [ "$(cut -d";" -f1 "$OUT")" = "$expected" ] \
    && [ "$(grep -Ec "^[0-9-]{10} [0-9:]{5};[0-9]{2}\.[0-9]{3}$" "$OUT")" -eq 24 ]'

# Heat energy of pipeline 0 as counter readings: they never go down.
cli archive hourly 4 --from "$day 00:00" --to "$day 23:00" --int
check "archive hourly --int" '[ $rc -eq 0 ] && [ "$(wc -l < "$OUT")" -eq 24 ] \
    && cut -d";" -f2 "$OUT" | sort -n -c'

cli archive weekly 0 --from "$day" --to "$day"
check "usage error" '[ $rc -eq 2 ] && grep -q "^usage:" "$ERR"'

# A parameter the reference file does not know: refused with its message, exit status 1.
cli read C0/7F/00
check "refused read" '[ $rc -eq 1 ] && [ -s "$ERR" ] && [ ! -s "$OUT" ]'

# The same controller behind a CAN adapter: a fresh simulator with the adapter in front, the
# work folder on the CAN-BUS channel type.
stop_sim
start_sim --line can
LC_ALL=C sed -i -e "s|^Com1=.*\r\$|Com1=$DEV\r|" -e "s|^ChannelType=.*\r\$|ChannelType=Can-Bus\r|" "$DATA/kvarnik.ini"

cli version
check "CAN adapter: version" '[ $rc -eq 0 ] && [ "$(cat "$OUT")" = "model=3 version=8.3" ]'
cli archive hourly 0 --from "$day 00:00" --to "$day 23:00"
check "CAN adapter: archive hourly" '[ $rc -eq 0 ] && [ "$(cut -d";" -f1 "$OUT")" = "$expected" ]'

exit $failed
