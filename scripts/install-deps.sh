#!/usr/bin/env bash
# Installs what a fresh Debian 12 lacks to build, run and test the program.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-image-formats-plugins libblkid-dev libgtest-dev
  zlib1g-dev libbz2-dev nasm
  dosfstools mtools fdisk util-linux python3
  fonts-liberation fonts-dejavu xvfb
)
"$(dirname "$0")/apt-install.sh" "${packages[@]}"
