#!/usr/bin/env bash
# Builds the release plug-in (VST 2.4 and AudioUnit) and the two hosts in
# build/release, then renders the host's built-in phrase through ondix.so with a
# factory preset to out/demo.wav.
# Installs missing build dependencies first (Debian 12; run as root or with
# sudo available).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/packages.sh

install_missing_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DONDIX_SANITIZE=OFF -DONDIX_TESTS=OFF \
    -DONDIX_BENCH=OFF
cmake --build build/release --target ondix ondix-host ondix-au ondix-auhost ondix-artwork

mkdir -p out
# A factory preset that shows the engine: two-voice unison saws through a
# resonant low-pass that an XY path replay sweeps (cutoff and resonance, two
# bars a turn), into chorus and reverb.
demo_preset="data/presets/XY/Filter Orbit.ondix"
build/release/ondix-host render build/release/ondix.so -o out/demo.wav --preset "$demo_preset"

# The editor's back screen and main-screen background at 100 % and 200 %.
build/release/ondix-artwork out/artwork

echo "demo: out/demo.wav, the built-in phrase through the factory preset XY/Filter Orbit"
