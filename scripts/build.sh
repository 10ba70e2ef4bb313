#!/usr/bin/env bash
# Installs what is missing, configures and builds. Usage: scripts/build.sh BUILD_DIR [cmake args...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$1"; shift

"$root/scripts/install-deps.sh"

# Share compiled objects between work trees and build folders of the same machine.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$root")}"
export CCACHE_NOHASHDIR=true

cmake -S "$root" -B "$build_dir" "$@" >/dev/null \
  || { echo "error: configuring the build in $build_dir failed" >&2; exit 1; }
cmake --build "$build_dir" -j"$(nproc)" \
  || { echo "error: the build in $build_dir failed" >&2; exit 1; }
