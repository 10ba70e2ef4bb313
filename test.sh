#!/usr/bin/env bash
# Builds everything and runs every test through CTest, window tests under Xvfb.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$root/build/release"
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release
exec "$root/scripts/ctest-xvfb.sh" "$build" "$@"
