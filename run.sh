#!/usr/bin/env bash
# Builds the program (Release) and starts it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$root/build/release"
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release
exec "$build/app/marvek-nubla-updater" "$@"
