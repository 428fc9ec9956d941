#!/usr/bin/env bash
# Installs the Debian packages that are missing.
#   tools/install-deps.sh run    what building and running the two programs need
#   tools/install-deps.sh test   that, plus the test tools and the independent decoders
# As root (CI) it installs at once. Otherwise it asks before using sudo; without sudo or without
# a terminal to ask on, it prints the one apt-get line to run and fails.
# Messages go to stderr: stdout belongs to the program that is started afterwards.
set -euo pipefail

run_packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libdeflate-dev libjpeg62-turbo-dev libtiff-dev
  qt6-base-dev libgl-dev qt6-translations-l10n fonts-ipafont-gothic
)
test_packages=(
  clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pil imagemagick pngcheck libpng-tools libtiff-tools giflib-tools gifsicle
  poppler-utils qpdf fonts-urw-base35
  xvfb x11-apps xclip
  desktop-file-utils appstream man-db groff-base dpkg-dev file
)

set_name=${1:-test}
case "$set_name" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

line="apt-get install -y ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
  exit 0
fi

if ! command -v sudo >/dev/null 2>&1; then
  echo "These Debian packages are missing. As root, run:" >&2
  echo "  $line" >&2
  exit 1
fi
if [ "${CI:-}" != "true" ]; then
  if [ ! -t 0 ]; then
    echo "These Debian packages are missing; there is no terminal to ask for sudo. Run:" >&2
    echo "  sudo $line" >&2
    exit 1
  fi
  echo "These Debian packages are missing: ${missing[*]}" >&2
  printf "Install them now with \"sudo %s\"? [y/N] " "$line" >&2
  read -r answer || answer=""
  case "$answer" in
    y | Y | yes | YES) ;;
    *)
      echo "Nothing installed. To install them yourself, run:" >&2
      echo "  sudo $line" >&2
      exit 1
      ;;
  esac
fi
sudo apt-get update -qq >&2
sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >&2
