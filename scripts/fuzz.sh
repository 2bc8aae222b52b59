#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UBSan) in build/fuzz
# and runs each for SECONDS seconds (default 60), seeded with the files the
# plug-in's writers produce. Prints per target the executions, executions per
# second, corpus size and findings, and exits with 1 when anything was found.
# CI builds the same targets and runs each for a second (scripts/fuzz-check.sh,
# which configures build/fuzz as here). Installs clang, its runtime and the
# build dependencies with apt-get when they are missing (Debian 12; as root
# or through sudo).
#
#   scripts/fuzz.sh [SECONDS]
#
#   ONDIX_FUZZ_JOBS=N          targets fuzzed at the same time (default: half the processors)
#   ONDIX_FUZZ_TARGETS="a b"   only these targets (names as in build/fuzz/fuzz/targets.txt)
#   CMAKE_BUILD_PARALLEL_LEVEL compile jobs of the build
#
# Kept between runs in build/fuzz/fuzz/: corpus/<target>/ (what the fuzzer
# learnt, minimised after each run), findings/<target>/ (crash-*, leak-*,
# timeout-*, oom-* inputs) and logs/<target>.log. Reproduce a finding with
#   build/fuzz/fuzz/fuzz_<target> build/fuzz/fuzz/findings/<target>/crash-...
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
fi

packages=(cmake ninja-build pkg-config clang libclang-rt-14-dev libsndfile1-dev libcairo2-dev
          libfontconfig-dev libx11-dev)

source scripts/packages.sh

install_missing_packages "${packages[@]}"

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DONDIX_FUZZ=ON -DONDIX_TESTS=OFF -DONDIX_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz

dir=$build/fuzz
mapfile -t targets < <(grep -v '^$' "$dir/targets.txt")
if [[ -n ${ONDIX_FUZZ_TARGETS:-} ]]; then
    read -r -a targets <<<"$ONDIX_FUZZ_TARGETS"
fi
jobs=${ONDIX_FUZZ_JOBS:-$(($(nproc) / 2))}
((jobs >= 1)) || jobs=1

# A scratch folder in memory, one per target, for the preferences of the
# plug-ins the targets create (never the user's own).
scratch_base=/dev/shm
[[ -w $scratch_base ]] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/ondix-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

stamp=$scratch/started
touch "$stamp"

run_target() {
    local name=$1
    local corpus=$dir/corpus/$name findings=$dir/findings/$name log=$dir/logs/$name.log
    mkdir -p "$corpus" "$findings" "$dir/logs" "$scratch/$name"
    local options=(-max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096
                   -print_final_stats=1 -artifact_prefix="$findings/")
    [[ -f $dir/$name.dict ]] && options+=(-dict="$dir/$name.dict")
    local start end
    start=$(date +%s.%N)
    ONDIX_FUZZ_SCRATCH=$scratch/$name "$dir/fuzz_$name" "${options[@]}" "$corpus" \
        "$dir/seeds/$name" >"$log" 2>&1 || true
    end=$(date +%s.%N)
    echo "$start $end" >"$scratch/$name.time"
    # What is kept for the next run is minimised: only inputs that add
    # coverage, so that the next run spends its first seconds on fewer
    # replays. Should the merge stop on an input, the corpus stays as it is.
    local merged=$scratch/$name.merged
    mkdir -p "$merged"
    if ONDIX_FUZZ_SCRATCH=$scratch/$name "$dir/fuzz_$name" -merge=1 -timeout=60 \
        -rss_limit_mb=4096 "$merged" "$corpus" >"$dir/logs/$name.merge.log" 2>&1; then
        rm -rf "$corpus"
        mv "$merged" "$corpus"
    fi
}

echo "Fuzzing ${#targets[@]} targets for $seconds s each, $jobs at a time"
running=0
for name in "${targets[@]}"; do
    [[ -x $dir/fuzz_$name ]] || { echo "no target $name" >&2; exit 2; }
    if ((running >= jobs)); then
        wait -n
        ((running--))
    fi
    run_target "$name" &
    ((++running))
done
wait

found=0
printf '\n%-18s %12s %10s %8s %9s\n' target executions exec/s corpus findings
for name in "${targets[@]}"; do
    log=$dir/logs/$name.log
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    # A run that stopped at a finding may print no statistics: its last status line.
    [[ -n $runs ]] || runs=$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#')
    runs=${runs:-0}
    read -r start end <"$scratch/$name.time"
    rate=$(awk -v r="$runs" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", r / (e - s) }')
    corpus=$(find "$dir/corpus/$name" -type f | wc -l)
    mapfile -t new < <(find "$dir/findings/$name" -type f -newer "$stamp" \
        \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \))
    printf '%-18s %12s %10s %8s %9s\n' "$name" "$runs" "$rate" "$corpus" "${#new[@]}"
    if ((${#new[@]} > 0)); then
        found=1
        printf '    %s\n' "${new[@]}"
        grep -m 3 -E 'ERROR:|runtime error:|fuzz check failed' "$log" | sed 's/^/    /' || true
    fi
done
echo "Logs in $dir/logs/"
exit $found
