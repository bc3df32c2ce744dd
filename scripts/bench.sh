#!/usr/bin/env bash
# Builds and runs the benchmarks: the line time of a group read per protocol (virtual time) and
# the desktop program's CPU use while the online view polls (a minute of real time).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KV_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target bench_exchange bench_online_cpu
"$build/bench/bench_exchange"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_online_cpu" "$@"
