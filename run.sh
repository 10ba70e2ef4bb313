#!/usr/bin/env bash
# Builds the program (Release) and starts it.
#   ./run.sh           the demo: a valid update file beside the program and an emulated device
#                      with older firmware, so a whole update can be clicked through (OK, Start, OK)
#   ./run.sh --device  the program as shipped, against the system's HID devices
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$root/build/release"

mode=demo
case "${1:-}" in
  "") ;;
  --device) mode=device ;;
  -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "usage: ./run.sh [--device]" >&2; exit 2 ;;
esac

"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release

if [ -z "${DISPLAY:-}" ]; then
  echo "error: no X display (DISPLAY is not set); start the program from a desktop session" >&2
  exit 1
fi

app="$build/app/marvek-nubla-updater"
if [ "$mode" = device ]; then
  exec "$app"
fi

demo="$(mktemp -d /tmp/nubla-demo.XXXXXX)"
devsim_pid=""
cleanup() {
  [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null && wait "$devsim_pid" 2>/dev/null
  rm -rf "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The update file lies beside the program, as a user's would.
"$build/tools/nubla-fwtool" make "$build/app/mvkqx5__v105.bin" --version 1.05 --date 20180214 >/dev/null

# An emulated device with older firmware; each chunk answers busy to a few polls, so the
# progress bar can be watched.
mkdir "$demo/vhid"
"$build/tools/nubla-devsim" --dir "$demo/vhid" --fw-date 20170530 --fw-version 1.02 --busy 3 \
  >"$demo/devsim.log" 2>&1 &
devsim_pid=$!

echo "Demo: an emulated MARVEK NUBLA with firmware 1.02 and the update file mvkqx5__v105.bin."
echo "Press OK, then Start, then OK."
NUBLA_VHID_DIR="$demo/vhid" "$app"
