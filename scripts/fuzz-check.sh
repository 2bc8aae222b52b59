#!/usr/bin/env bash
# For CI: builds every libFuzzer target as scripts/fuzz.sh does (clang,
# AddressSanitizer + UBSan, build/fuzz), then runs each on its seeds and for
# SECONDS more (default 1), into a corpus of its own that is thrown away. A
# target that does not build, or stops on a seed or on what it finds in that
# time, fails the run (exit 1); its log is printed. The corpus scripts/fuzz.sh
# keeps is neither read nor changed. Installs clang, its runtime and the build
# dependencies with apt-get when they are missing (Debian 12; as root or
# through sudo).
#
#   scripts/fuzz-check.sh [SECONDS]
#
#   ONDIX_FUZZ_CHECK_JOBS=N    targets run at the same time (default: the processors)
#   CMAKE_BUILD_PARALLEL_LEVEL compile jobs of the build
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-1}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: scripts/fuzz-check.sh [SECONDS]" >&2
    exit 2
fi

packages=(cmake ninja-build pkg-config clang libclang-rt-14-dev libsndfile1-dev libcairo2-dev
          libfontconfig-dev libx11-dev)

source scripts/packages.sh

install_missing_packages "${packages[@]}"

# The same build as scripts/fuzz.sh's.
start=$SECONDS
build=build/fuzz
echo "fuzz-check: building the fuzz targets in $build with clang++"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DONDIX_FUZZ=ON -DONDIX_TESTS=OFF -DONDIX_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz
built=$((SECONDS - start))

dir=$build/fuzz
mapfile -t targets < <(grep -v '^$' "$dir/targets.txt")
if ((${#targets[@]} == 0)); then
    echo "fuzz-check: no targets in $dir/targets.txt" >&2
    exit 2
fi
jobs=${ONDIX_FUZZ_CHECK_JOBS:-$(nproc)}
((jobs >= 1)) || jobs=1

scratch_base=/dev/shm
[[ -w $scratch_base ]] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/ondix-fuzz-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

# One target: its seeds, then SECONDS of fuzzing. Its exit status (a finding,
# a crash at start-up, a leak at exit) is written beside its log.
check_target() {
    local name=$1
    local work=$scratch/$name
    mkdir -p "$work/corpus" "$work/findings" "$work/prefs"
    local options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048
                   -print_final_stats=1 -artifact_prefix="$work/findings/")
    [[ -f $dir/$name.dict ]] && options+=(-dict="$dir/$name.dict")
    local status=0
    ONDIX_FUZZ_SCRATCH=$work/prefs "$dir/fuzz_$name" "${options[@]}" "$work/corpus" \
        "$dir/seeds/$name" >"$work/log" 2>&1 || status=$?
    echo "$status" >"$work/status"
}

echo "fuzz-check: running ${#targets[@]} targets on their seeds and for $seconds s," \
     "$jobs at a time"
running=0
for name in "${targets[@]}"; do
    [[ -x $dir/fuzz_$name ]] || { echo "fuzz-check: no target $name" >&2; exit 2; }
    if ((running >= jobs)); then
        wait -n
        ((running--))
    fi
    check_target "$name" &
    ((++running))
done
wait

failed=0
printf '%-18s %12s %10s\n' target executions status
for name in "${targets[@]}"; do
    work=$scratch/$name
    status=$(cat "$work/status" 2>/dev/null || echo "?")
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    printf '%-18s %12s %10s\n' "$name" "${runs:-?}" "$status"
    if [[ $status != 0 ]]; then
        failed=1
        echo "---- $name: the last lines of its log" >&2
        tail -n 40 "$work/log" >&2
    fi
done
if ((failed)); then
    echo "fuzz-check: some targets failed (above); reproduce with scripts/fuzz.sh" >&2
    exit 1
fi
echo "fuzz-check: ${#targets[@]} targets clean (build ${built} s, in all $((SECONDS - start)) s)"
