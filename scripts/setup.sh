#!/usr/bin/env bash
# Installs the Debian packages that are missing: what the build and the program
# need, and with --tests also what the tests and screenshots need.
set -euo pipefail
packages=(g++ cmake make qt6-base-dev libpng-dev libmpfr-dev fonts-dejavu-core fonts-liberation2 dpkg-dev file
          pkg-config libavformat-dev libavcodec-dev libavutil-dev libswscale-dev)
if [ "${1:-}" = "--tests" ]; then
  packages+=(locales xvfb xauth xdotool x11-apps imagemagick clang libclang-rt-14-dev
             desktop-file-utils appstream man-db groff-base lintian xdg-utils openbox parallel
             slurm-wlm)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
