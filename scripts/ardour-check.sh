#!/usr/bin/env bash
# Ardour 7 check (not in CI): saves a session with every parameter of ondix.so
# changed, reloads it and compares the values the plug-in holds then with
# those it held when the session was saved, and compares the automation lanes
# Ardour gives the plug-in under its default cap (512 lanes per plug-in) with
# the lanes it gives with the cap off, which are exactly the tags answering
# effCanBeAutomated 1. Passes when every value came back and both sets of
# lanes are the same: every automatable parameter has its lane, and the only
# "Ignored automation data" lines are for tags that answer 0.
#
# usage: scripts/ardour-check.sh [path/to/ondix.so]
# Without a path it checks build/release/ondix.so, building it first when it
# is not there. Runs headless (Ardour's Dummy backend, no sound card or
# display). Needs Ardour 7's Lua interpreter, ardour7-lua: Debian 12's package
# ardour, which is installed when it is missing (as root, or through sudo).
# The session scripts are in scripts/ardour. Ardour's settings and plug-in
# cache go to a temporary folder, removed afterwards: nothing is left in the
# home folder.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LUA=$ROOT/scripts/ardour
SCANNER=/usr/lib/ardour7/ardour-vst-scanner

source "$ROOT/scripts/packages.sh"

if [[ $# -eq 0 && ! -f $ROOT/build/release/ondix.so ]]; then
    install_missing_packages "${BUILD_PACKAGES[@]}"
    cmake -S "$ROOT" -B "$ROOT/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DONDIX_SANITIZE=OFF -DONDIX_TESTS=OFF -DONDIX_BENCH=OFF
    cmake --build "$ROOT/build/release" --target ondix
fi
SO=$(readlink -f "${1:-$ROOT/build/release/ondix.so}")
[[ -f $SO ]] || { echo "no plug-in at $SO (build it first)" >&2; exit 2; }

if ! command -v ardour7-lua >/dev/null || [[ ! -x $SCANNER ]]; then
    install_missing_packages ardour ||
        { echo "Ardour 7 is missing and could not be installed: apt-get install -y ardour" >&2; exit 2; }
    command -v ardour7-lua >/dev/null && [[ -x $SCANNER ]] ||
        { echo "the package ardour brought no ardour7-lua or $SCANNER (Ardour 7 is needed)" >&2; exit 2; }
fi

WORK=$(mktemp -d -t ondix-ardour.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export XDG_CONFIG_HOME=$WORK/config XDG_CACHE_HOME=$WORK/cache XDG_DATA_HOME=$WORK/data

# Ardour only uses a scanned plug-in and only trusts a scan newer than the
# binary: scan a copy dated in the past, so the build tree is left alone.
mkdir "$WORK/plugin"
cp "$SO" "$WORK/plugin/ondix.so"
touch -d "@$(($(date +%s) - 5))" "$WORK/plugin/ondix.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 "$SCANNER" -f -v "$WORK/plugin/ondix.so" >"$WORK/scan.log" 2>&1 || true
grep -q 'is_instrument="1"' "$WORK/scan.log" || { cat "$WORK/scan.log" >&2; exit 1; }

run() {
    LXVST_PATH="$WORK/plugin" ardour7-lua "$@" >"$WORK/last.log" 2>&1 ||
        { echo "ardour7-lua $* failed:" >&2; cat "$WORK/last.log" >&2; exit 1; }
}
ignored() { grep -c "Ignored automation data for non-automatable parameter" "$WORK/last.log" || true; }

run "$LUA/session_save.lua" "$WORK/st" "$WORK/values-saved.txt"
run "$LUA/session_load.lua" "$WORK/st" "$WORK/values-loaded.txt"
reload=$(ignored)
# The values as the plug-in held them at the save and after the reload, each
# "index value"; the same within what a float written as text keeps.
changed=$(awk 'NR == FNR { saved[$1] = $2; next }
               !($1 in saved) || ($2 - saved[$1])^2 > 1e-12 { print $1 " " saved[$1] " -> " $2 }
               { seen[$1] = 1 }
               END { for (i in saved) if (!(i in seen)) print i " " saved[i] " -> missing" }' \
    "$WORK/values-saved.txt" "$WORK/values-loaded.txt")
saved=$(wc -l <"$WORK/values-saved.txt")
run "$LUA/lanes.lua" "$WORK/st" 512 "$WORK/lanes-capped.txt"
capped=$(ignored)
run "$LUA/lanes.lua" "$WORK/st" 0 "$WORK/lanes-uncapped.txt"
uncapped=$(ignored)

echo "reload (session_load.lua):          $reload \"Ignored automation\" lines"
if [[ $saved -eq 0 || -n $changed ]]; then
    echo "FAIL: values the reload did not bring back (index saved -> loaded):"
    [[ $saved -eq 0 ]] && echo "no values were saved"
    [[ -n $changed ]] && printf '%s\n' "$changed" | head -40
    exit 1
fi
echo "values after the reload:            all $saved as saved"
echo "lanes with Ardour's default cap:    $(wc -l <"$WORK/lanes-capped.txt") ($capped ignored lines)"
echo "lanes with the cap off:             $(wc -l <"$WORK/lanes-uncapped.txt") ($uncapped ignored lines)"
if cmp -s "$WORK/lanes-capped.txt" "$WORK/lanes-uncapped.txt"; then
    echo "ok: every automatable parameter has its automation lane"
else
    echo "FAIL: automatable parameters without a lane under the default cap:"
    grep -vxFf "$WORK/lanes-capped.txt" "$WORK/lanes-uncapped.txt" | paste -sd' ' | fmt -w 100
    exit 1
fi
