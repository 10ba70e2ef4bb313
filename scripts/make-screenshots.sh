#!/usr/bin/env bash
# Renders the README's pictures of the main screen into docs/ under Xvfb.
# Usage: scripts/make-screenshots.sh [BUILD_DIR] (default build/release, built by ./test.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/release}"
mkdir -p "$root/docs"
NUBLA_SCREENSHOT_DIR="$root/docs" xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$build/tests/test_screen" --gtest_filter='ScreenFixture.ScreenshotsOfTheMainScreens'
