#!/usr/bin/env bash
# Runs CTest in BUILD_DIR on a private Xvfb display. Usage: scripts/ctest-xvfb.sh BUILD_DIR [ctest args...]
set -euo pipefail
build_dir="$1"; shift
command -v xvfb-run >/dev/null || { echo "error: xvfb-run is missing (package xvfb)" >&2; exit 1; }
cd "$build_dir"
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  ctest --output-on-failure -j"$(nproc)" "$@"
