#!/usr/bin/env bash
# Installs the Debian packages Polyquill needs to build, test and run.
# Safe to run again: it asks apt only for what is missing, as root or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
    qt6-base-dev qt6-base-private-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri
    qt6-wayland weston xwayland
    libpng-dev libjpeg62-turbo-dev zlib1g-dev libassimp-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool imagemagick tesseract-ocr tesseract-ocr-eng
    libcli11-dev libx11-dev x11-utils python3 fonts-dejavu-core
    dpkg-dev file shared-mime-info libglib2.0-bin desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
