#!/usr/bin/env bash
# Compiles every source of the test build (plug-in, AudioUnit adapter, tools,
# tests and benchmarks) with clang++ as well, for errors and warnings only:
# CI builds and runs everything with g++, and clang rejects some code that
# g++ takes. Configures build/clang-check with clang++ and the test build's
# options (the sanitizers: clang then sees the same code paths), makes the
# generated sources, and runs each compile command with -fsyntax-only -Werror,
# several at a time. Exits with 1 when any source fails. Installs clang when
# it is missing (Debian 12; as root or through sudo).
#
#   scripts/clang-check.sh
#
#   ONDIX_CLANG_CHECK_JOBS=N   compiles at the same time (default: the processors)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(cmake ninja-build clang pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev
          libcairo2-dev libfontconfig-dev libx11-dev)

source scripts/packages.sh

install_missing_packages "${packages[@]}"

start=$SECONDS
build=build/clang-check
echo "clang-check: configuring $build with clang++ and the test build's options"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DONDIX_SANITIZE=ON -DONDIX_TESTS=ON >/dev/null
# Sources that the build writes (the embedded presets and manual).
mapfile -t generated < <(sed -n 's/^  "file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
                         grep "^$PWD/$build/" | sed "s|^$PWD/$build/||")
if ((${#generated[@]} > 0)); then
    cmake --build "$build" --target "${generated[@]}" >/dev/null
fi

# The compile commands as the shell reads them (JSON escapes undone), each
# told to stop after the checks and to write no object.
mapfile -t commands < <(sed -n 's/^  "command": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
                        sed 's/\\\(.\)/\1/g; s/ -o [^ ]*/ /; s/$/ -fsyntax-only -Werror/')
if ((${#commands[@]} == 0)); then
    echo "clang-check: no compile commands in $build/compile_commands.json" >&2
    exit 2
fi

jobs=${ONDIX_CLANG_CHECK_JOBS:-$(nproc)}
echo "clang-check: compiling ${#commands[@]} sources with clang++ -fsyntax-only -Werror," \
     "$jobs at a time (a minute or two)"
failed=0
# Each compile prints its diagnostics in one piece when it fails.
printf '%s\0' "${commands[@]}" |
    xargs -0 -n 1 -P "$jobs" bash -c 'cd "$0" && out=$(eval "$1" 2>&1) && [[ -z $out ]] ||
        { printf "%s\n" "$out" >&2; exit 1; }' "$PWD/$build" || failed=1

if ((failed)); then
    echo "clang-check: some of ${#commands[@]} sources fail with clang++ (above)" >&2
    exit 1
fi
echo "clang-check: ${#commands[@]} sources compile with clang++ without a warning" \
     "($((SECONDS - start)) s)"
