#!/usr/bin/env bash
# Builds everything with ThreadSanitizer in build/tsan, runs the whole test
# suite, then the two-instance, two-editor stress run for a few seconds:
# two plug-ins, each rendering on its own audio thread with MIDI and host
# automation, while one GUI thread idles both headless editors, turns knobs,
# saves and restores their state and switches presets
# (ThreadStress.* in tests/core/test_thread_stress.cpp).
#
#   scripts/tsan.sh [STRESS_SECONDS]   (default 5)
#
# Every report goes to build/tsan/tsan-reports; the script lists them at the
# end and fails when there is any. Not part of CI (it takes several minutes).
# Installs missing build dependencies first (Debian 12; run as root or with
# sudo available).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-5}"
build=build/tsan
reports="$build/tsan-reports"

packages=(cmake ninja-build g++ pkg-config libgtest-dev libsndfile1-dev locales libcairo2-dev
          libfontconfig-dev libx11-dev fonts-dejavu-core xvfb xauth)

source scripts/packages.sh

install_missing_packages "${packages[@]}"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDIX_TSAN=ON \
    -DONDIX_TESTS=ON -DONDIX_BENCH=OFF
cmake --build "$build" -j "${ONDIX_JOBS:-3}"

rm -rf "$reports"
mkdir -p "$reports"
# Each test process writes its reports to a file of its own; history_size
# keeps the other thread's stack of a race for longer.
export TSAN_OPTIONS="${TSAN_OPTIONS:-history_size=7 second_deadlock_stack=1} log_path=$PWD/$reports/report"

status=0
echo "== The test suite under ThreadSanitizer"
ctest --test-dir "$build" --output-on-failure -j "${ONDIX_JOBS:-3}" || status=1

echo "== Two instances, two editors, ${seconds} s"
ONDIX_STRESS_SECONDS="$seconds" ONDIX_PREFS_DIR="$PWD/$build/test-prefs" \
    "$build/tests/ondix_tests" --gtest_filter='ThreadStress.*' || status=1

echo "== ThreadSanitizer reports"
shopt -s nullglob
files=("$reports"/report.*)
count=0
for f in "${files[@]}"; do
    count=$((count + $(grep -c "^WARNING: ThreadSanitizer" "$f" || true)))
done
if [[ ${#files[@]} -eq 0 ]]; then
    echo "none"
else
    echo "$count warning(s) in ${#files[@]} process(es); by place:"
    grep -h "^SUMMARY: ThreadSanitizer" "${files[@]}" | sed "s|$PWD/||" | sort | uniq -c | sort -rn
    echo "full reports: $reports"
    status=1
fi
exit "$status"
