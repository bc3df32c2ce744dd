#!/usr/bin/env bash
# Installs, builds and starts Kvarnik in demo mode (simulated controller on Com1).
# Without a display it runs on a virtual display and writes a screenshot whose path it prints.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KV_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target kvarnik
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/kvarnik" --demo "$@"
fi
shot="${KV_SCREENSHOT:-$build/kvarnik-demo.png}"
xvfb-run -a -s "-screen 0 1280x900x24" "$build/kvarnik" --demo --screenshot "$shot" --quit-after 3000 "$@"
echo "Screenshot: $shot"
