#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer in
# build/test and runs the whole test suite. Installs missing build
# dependencies first (Debian 12; run as root or with sudo available).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev locales
          libcairo2-dev libfontconfig-dev libx11-dev fonts-dejavu-core xvfb xauth)

source scripts/packages.sh

install_missing_packages "${packages[@]}"

# Hosts switch LC_NUMERIC to locales with a decimal comma; the tests check
# that no number we print or parse follows it. Provide one such locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    if [[ $(id -u) -eq 0 ]]; then
        localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "note: could not generate de_DE.UTF-8"
    else
        echo "note: de_DE.UTF-8 is missing; the decimal-comma tests will be skipped"
    fi
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:print_stacktrace=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-print_suppressions=0}"

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDIX_SANITIZE=ON \
    -DONDIX_TESTS=ON
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j2
