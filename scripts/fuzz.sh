#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build/fuzz, then runs the
# update file target for SECONDS (60 by default) on its corpus in build/fuzz/corpus.
# Usage: scripts/fuzz.sh [SECONDS] [libFuzzer options...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
[ $# -gt 0 ] && shift
build="$root/build/fuzz"

command -v clang++ >/dev/null || { echo "error: clang++ is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
"$root/scripts/install-deps.sh"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$root")}"
export CCACHE_NOHASHDIR=true

cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUBLA_FUZZ=ON -DNUBLA_TESTS=OFF -DNUBLA_BENCH=OFF \
  -DNUBLA_SANITIZE=address,undefined >/dev/null \
  || { echo "error: configuring the fuzz build failed" >&2; exit 1; }
cmake --build "$build" -j"$(nproc)" --target fuzz_update_file \
  || { echo "error: the fuzz build failed" >&2; exit 1; }

corpus="$build/corpus/update_file"
mkdir -p "$corpus"
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$root/scripts/sanitizers/ubsan.supp" \
ASAN_OPTIONS="detect_leaks=1" \
  "$build/fuzz/fuzz_update_file" -max_total_time="$seconds" -print_final_stats=1 "$@" "$corpus"
