#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole suite.
# Ends with the line "N passed, N failed".
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KV_BUILD_DIR:-$root/build}"
jobs="${KV_JOBS:-$(nproc)}"

bash "$root/scripts/install-deps.sh" || { echo "dependency installation failed"; echo "0 passed, 1 failed"; exit 1; }

# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_WERROR=ON ${KV_CMAKE_ARGS:-} >/dev/null \
  || { echo "configure failed"; echo "0 passed, 1 failed"; exit 1; }
if ! cmake --build "$build" -j "$jobs"; then
  echo "build failed"; echo "0 passed, 1 failed"; exit 1
fi

log="$build/ctest-summary.log"
( cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" --timeout 300 ) | tee "$log"
rc=${PIPESTATUS[0]}

line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
if [ -z "$line" ]; then
  echo "0 passed, 1 failed"
  exit 1
fi
failed=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
total=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
echo "$((total - failed)) passed, $failed failed"
[ "$rc" -eq 0 ] && [ "$failed" -eq 0 ]
