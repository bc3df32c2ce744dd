#!/usr/bin/env bash
# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (run by hand; slower
# than scripts/test.sh). Ends with the same "N passed, N failed" line.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
KV_BUILD_DIR="${KV_BUILD_DIR:-$root/build-asan}" KV_CMAKE_ARGS="-DKV_SANITIZE=ON" \
  ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  exec bash "$root/scripts/test.sh"
