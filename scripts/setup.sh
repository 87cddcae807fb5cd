#!/usr/bin/env bash
# Installs the Debian packages that are missing: what the build and the program
# need, and with --tests also what the tests and screenshots need (among them
# the cross compiler and qemu-user for the aarch64 build of the core).
set -euo pipefail
packages=(g++ cmake make qt6-base-dev libpng-dev libmpfr-dev fonts-dejavu-core fonts-liberation2 dpkg-dev file
          pkg-config libavformat-dev libavcodec-dev libavutil-dev libswscale-dev)
if [ "${1:-}" = "--tests" ]; then
  packages+=(clang-format locales xvfb xauth xdotool x11-apps imagemagick clang lld libclang-rt-14-dev
             desktop-file-utils appstream man-db groff-base lintian xdg-utils openbox parallel
             slurm-wlm
             g++-aarch64-linux-gnu qemu-user libmpfr-dev:arm64 libgmp-dev:arm64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "installing: ${missing[*]}"
  # The cross build's MPFR and GMP are Debian's arm64 packages, installed
  # beside this machine's through multiarch.
  if [[ " ${missing[*]}" == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $sudo dpkg --add-architecture arm64
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
