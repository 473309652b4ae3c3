#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Safe to run again.
set -euo pipefail
# One package a line, so that lines of work that add packages merge cleanly.
packages=(
    cmake
    ninja-build
    g++
    clang
    libclang-rt-14-dev
    pkg-config
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    libedit-dev
    bc
    zlib1g-dev
    libpixman-1-dev
    libfreetype-dev
    libfontconfig-dev
    libpng-dev
    libjpeg-dev
    fonts-dejavu-core
    fonts-liberation
    locales
    libsdl2-dev
    libx11-dev
    xvfb
    libcurl4-openssl-dev
)
# bench/run.sh compares with other Lisp systems: scripts/deps.sh --bench installs them too.
[ "${1:-}" = "--bench" ] && packages+=(tinyscheme elk newlisp chicken-bin imagemagick flex sqlite3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
else
    echo "Velora needs these Debian packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
