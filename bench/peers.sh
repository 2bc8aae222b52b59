#!/usr/bin/env bash
# Ondix beside the Linux VST 2 synthesizers that Debian packages, measured in
# one run on this machine, printed as a markdown table.
#
# Every synth plays its default patch: 8 held notes (MIDI 48 52 55 60 64 67 72
# 76, velocity 100) at 44.1 kHz in blocks of 512, through build/release's
# ondix-host, which counts only what happens inside the plug-in's process calls
# (events and processReplacing):
# - instructions per frame: callgrind, collecting inside
#   ondix::host::Plugin::processBlock only, (4 s render - 2 s render) / 88200
#   frames, so loading and the first blocks' setup drop out;
# - wall-clock per frame: the time inside the process calls of the blocks
#   from 2 s to 4 s of a 4 s render (ondix-host --timing-from 2: the start-up
#   work, which varies from run to run, stays out), the best of three runs,
#   interleaved between the synths (A B C A B C A B C);
# - memory: resident memory of one process loading 5 instances, each rendering
#   0.25 s of the notes so lazily built tables count: the first instance is
#   the growth from the host alone, a further one the mean growth after it.
#
# Run as root (or with sudo) on Debian 12: installs valgrind, the build
# packages and the peers' packages if missing (a peer whose package cannot be
# installed is skipped with a message), builds ondix.so and ondix-host in
# build/release (or ONDIX_BUILD=DIR, to measure another build) and runs for
# about a minute. Ondix is always this checkout's build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/packages.sh

build=${ONDIX_BUILD:-build/release}
install_missing_packages cmake ninja-build g++ pkg-config libsndfile1-dev libcairo2-dev \
    libfontconfig-dev libx11-dev fonts-dejavu-core valgrind
if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DONDIX_SANITIZE=OFF -DONDIX_TESTS=OFF \
        -DONDIX_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target ondix ondix-host >/dev/null
host=$build/ondix-host

# name | Debian package | plug-in | what to know about its default patch
synths=("Ondix||$build/ondix.so|"
    "ZynAddSubFX|zynaddsubfx-vst|/usr/lib/vst/ZynAddSubFX.so|"
    "amsynth|amsynth|/usr/lib/vst/amsynth_vst.so|"
    "Kars|dpf-plugins-vst|/usr/lib/vst/Kars-vst.so|a plucked string per key (Sustain off): held notes die away"
    "Nekobi|dpf-plugins-vst|/usr/lib/vst/Nekobi-vst.so|monophonic: of the 8 notes it plays one, and it dies away")
names=() plugins=() notes=()
for entry in "${synths[@]}"; do
    IFS='|' read -r name package plugin note <<<"$entry"
    if [[ -n $package && ! -f $plugin ]] && ! (install_missing_packages "$package") >&2; then
        echo "peers: skipping $name: its package $package could not be installed" >&2
        continue
    fi
    if [[ ! -f $plugin ]]; then
        echo "peers: skipping $name: $plugin is missing" >&2
        continue
    fi
    names+=("$name") plugins+=("$plugin") notes+=("$note")
done

# The synths keep their settings in a home of their own, thrown away after.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

held=()
for key in 48 52 55 60 64 67 72 76; do held+=(--note "$key:100:0:10"); done
render() { # plug-in, seconds, further options...
    local plugin=$1 seconds=$2
    shift 2
    "$host" render "$plugin" -o "$work/out.wav" --rate 44100 --block 512 --seconds "$seconds" \
        "${held[@]}" "$@"
}
frames=88200 # 4 s - 2 s at 44.1 kHz

# "process: B blocks, F frames, T ms, N ns per frame": N.
process_ns_per_frame() { awk '/^process: / { printf "%.0f", $8 }'; }

declare -A best level
for round in 1 2 3; do
    echo "peers: wall-clock, round $round of 3" >&2
    for i in "${!names[@]}"; do
        if ! out=$(render "${plugins[i]}" 4 --timing-from 2 2>"$work/err"); then
            echo "peers: ${names[i]} failed: $(tail -n 1 "$work/err")" >&2
            continue
        fi
        ns=$(process_ns_per_frame <<<"$out")
        if [[ -n $ns ]] && [[ -z ${best[$i]:-} || $ns -lt ${best[$i]} ]]; then
            best[$i]=$ns
        fi
        # "OUT.wav: 4.000 s, peak -0.01 dBFS (0.9990), RMS -5.33 dBFS"
        level[$i]=$(sed -n 's/.* RMS \(.*\) dBFS$/\1/p' <<<"$out")
    done
done

declare -A instructions
for i in "${!names[@]}"; do
    echo "peers: callgrind, ${names[i]}" >&2
    for seconds in 2 4; do
        file=$work/callgrind.$i.$seconds
        if valgrind --tool=callgrind --collect-atstart=no \
            --toggle-collect='ondix::host::Plugin::processBlock*' --callgrind-out-file="$file" \
            "$host" render "${plugins[i]}" -o "$work/out.wav" --seconds "$seconds" "${held[@]}" \
            >/dev/null 2>"$work/err"; then
            instructions[$i.$seconds]=$(awk '/^totals:/ { print $2 }' "$file")
        else
            echo "peers: ${names[i]} failed under callgrind: $(tail -n 1 "$work/err")" >&2
        fi
    done
done

declare -A first further
for i in "${!names[@]}"; do
    echo "peers: memory, ${names[i]}" >&2
    # "resident: I instances R KiB (+D KiB)"
    if out=$(render "${plugins[i]}" 0.25 --instances 5 2>"$work/err"); then
        read -r r0 r1 r5 < <(awk '/^resident: [0-9]+ instances [0-9]+ KiB/ { r[$2] = $4 }
            END { print r[0], r[1], r[5] }' <<<"$out")
        if [[ -n $r5 ]]; then
            first[$i]=$((r1 - r0))
            further[$i]=$(((r5 - r1) / 4))
        fi
    else
        echo "peers: ${names[i]} failed loading 5 instances: $(tail -n 1 "$work/err")" >&2
    fi
done

# 1234567 -> 1,234,567
grouped() { awk -v n="$1" 'BEGIN { s = sprintf("%d", n); while (s ~ /[0-9][0-9][0-9][0-9]/)
    sub(/[0-9][0-9][0-9]($|,)/, ",&", s); print s }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

echo
echo "| | instructions per frame (callgrind) | wall-clock per frame | memory per further instance | RMS of the 4 s render |"
echo "|---|---|---|---|---|"
for i in "${!names[@]}"; do
    ir=failed wall=failed memory=failed rms=${level[$i]:-failed}
    if [[ -n ${instructions[$i.2]:-} && -n ${instructions[$i.4]:-} ]]; then
        ir=$(grouped $(((instructions[$i.4] - instructions[$i.2]) / frames)))
    fi
    if [[ -n ${best[$i]:-} ]]; then wall="${best[$i]} ns"; fi
    if [[ -n ${further[$i]:-} ]]; then
        sign=+
        if ((further[$i] < 0)); then sign=; fi
        memory="$sign$(mib "${further[$i]}") MiB (first instance $(mib "${first[$i]}") MiB)"
    fi
    if [[ $rms != failed ]]; then rms="$rms dBFS"; fi
    echo "| ${names[i]} | $ir | $wall | $memory | $rms |"
done
for i in "${!names[@]}"; do
    if [[ -n ${notes[i]} ]]; then echo "- ${names[i]}: ${notes[i]}"; fi
done
echo "- $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end (other work makes the times noisy)"
