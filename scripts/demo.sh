#!/usr/bin/env bash
# Builds the release plug-in (VST 2.4 and AudioUnit) and the two hosts in
# build/release, then renders the host's built-in phrase through ondix.so to
# out/demo.wav.
# Installs missing build dependencies first (Debian 12; run as root or with
# sudo available).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(cmake ninja-build g++ pkg-config libsndfile1-dev libcairo2-dev libfontconfig-dev libx11-dev
          fonts-dejavu-core)

source scripts/packages.sh

install_missing_packages "${packages[@]}"

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DONDIX_SANITIZE=OFF -DONDIX_TESTS=OFF \
    -DONDIX_BENCH=OFF
cmake --build build/release --target ondix ondix-host ondix-au ondix-auhost ondix-artwork

mkdir -p out
# The default patch plays each voice near -10 dBFS; the main volume is turned
# down a little so the phrase's chords keep clear of the output limit.
build/release/ondix-host render build/release/ondix.so -o out/demo.wav --set "Main Volume=0.75"

# The editor's back screen and main-screen background at 100 % and 200 %.
build/release/ondix-artwork out/artwork
