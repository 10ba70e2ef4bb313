#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
# Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  juce-modules-source            # JUCE 7 modules and their find_package config
  libudev-dev                    # system HID devices (hidraw listing and hot-plug)
  libx11-dev libxext-dev libxrandr-dev libxinerama-dev libxcursor-dev libxrender-dev libfreetype-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils imagemagick   # window tests and screenshots
  fonts-dejavu-core              # one standard font, so screenshots match on every machine
  clang libclang-rt-14-dev       # fuzz target and sanitizer runtimes
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "error: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq || { echo "error: apt-get update failed" >&2; exit 1; }
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" \
  || { echo "error: could not install: ${missing[*]}" >&2; exit 1; }
