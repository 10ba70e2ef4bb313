#!/usr/bin/env bash
# Builds the tests with AddressSanitizer + UndefinedBehaviorSanitizer, and separately with
# ThreadSanitizer, each in its own build folder, and runs them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
supp="$root/scripts/sanitizers"

common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUBLA_BENCH=OFF)

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build/asan" "${common[@]}" -DNUBLA_SANITIZE=address,undefined
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp" \
LSAN_OPTIONS="suppressions=$supp/lsan.supp" \
  "$root/scripts/ctest-xvfb.sh" "$root/build/asan" "$@"

echo "== ThreadSanitizer"
"$root/scripts/build.sh" "$root/build/tsan" "${common[@]}" -DNUBLA_SANITIZE=thread
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp" \
  "$root/scripts/ctest-xvfb.sh" "$root/build/tsan" "$@"
