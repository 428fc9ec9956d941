#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, when any is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  python3 python3-pil imagemagick pngcheck libpng-tools libtiff-tools giflib-tools gifsicle
  poppler-utils qpdf fonts-urw-base35
  xvfb x11-apps xclip fonts-ipafont-gothic
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
