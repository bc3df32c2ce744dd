#!/bin/bash
# The simulated controller on a pseudo-terminal, reached through the program's real serial
# backend and exchange engine: traditional protocol, FT1.1 and FT1.2 in each CRC mode.
# $1: build folder, $2: source root.
set -u
BUILD=${1:?build folder}
SRC=${2:?source root}
SIM="$BUILD/kvarnik-sim"
[ -x "$SIM" ] || { echo "pty_sim: $SIM is missing"; exit 1; }
for lib in platform protocol sim app text; do
    [ -f "$BUILD/libkv_$lib.a" ] || { echo "pty_sim: libkv_$lib.a is missing"; exit 1; }
done

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
    exec 3>&- 2>/dev/null
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# A small client: the platform's port opener with the pseudo-terminal as "Com1", the engine
# with the chosen protocol, a version read and a status read.
cat > "$WORK/probe.cpp" <<'CPP'
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/DevicePortOpener.h"
#include "protocol/Exchange.h"
#include "protocol/LineControl.h"
#include "sim/RealTimeClock.h"

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const std::string path = argv[1];
    kv::DevicePortOpener opener(std::map<std::string, std::string>{{"Com1", path}});
    kv::sim::RealTimeClock clock;
    kv::NullEventPump pump;
    kv::NullTraceLog trace;
    kv::Exchange ex(clock, pump, trace);
    ex.state().protocol = uint8_t(std::atoi(argv[2]));
    ex.state().crcMode = uint8_t(std::atoi(argv[3]));
    ex.state().networkNumber = 1;
    auto port = kv::openLine(opener, "Com1", 5, 0, ex);
    if (!port) {
        std::printf("cannot open %s\n", path.c_str());
        return 3;
    }
    if (ex.state().protocol == 1) {
        const int probe = ex.probeFrameCounter(*port, 0);
        std::printf("frame counter probe %d, protocol %d; ", probe, int(ex.state().protocol));
    }
    const uint8_t version[3] = {0x01, 0x40, 0x1E};
    uint8_t v[2] = {0, 0};
    const int r1 = ex.transact(*port, version, v, 0, 2);
    const uint8_t status[3] = {0x01, 0x40, 0x00};
    uint8_t s[2] = {0xFF, 0xFF};
    const int r2 = ex.transact(*port, status, s, 0, 2);
    std::printf("version: %d %02X %02X, status: %d %02X %02X\n", r1, v[0], v[1], r2, s[0], s[1]);
    return (r1 == 0 && v[0] == 0x07 && v[1] == 0x01 && r2 == 0 && s[1] == 0x00) ? 0 : 1;
}
CPP

CXX=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$BUILD/CMakeCache.txt")
[ -n "$CXX" ] || CXX=c++
if ! "$CXX" -std=c++20 -I"$SRC/src" "$WORK/probe.cpp" \
        "$BUILD/libkv_platform.a" "$BUILD/libkv_protocol.a" "$BUILD/libkv_sim.a" \
        "$BUILD/libkv_app.a" "$BUILD/libkv_text.a" $(pkg-config --libs libserialport) \
        -o "$WORK/probe" 2> "$WORK/build.log"; then
    echo "pty_sim: the client does not build"
    cat "$WORK/build.log"
    exit 1
fi

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
    elif out=$(timeout 60 "$WORK/probe" "$path" "$prot" "$crc"); then
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
