#!/usr/bin/env bash
# Ardour 7 check (not in CI): saves a session with every parameter of ondix.so
# changed, reloads it, and compares the automation lanes Ardour gives the
# plug-in under its default cap (512 lanes per plug-in) with the lanes it gives
# with the cap off, which are exactly the tags answering effCanBeAutomated 1.
# Passes when both are the same: every automatable parameter has its lane, and
# the only "Ignored automation data" lines are for tags that answer 0.
#
# usage: scripts/ardour-check.sh [path/to/ondix.so]
# Needs ardour7-lua (apt-get install -y ardour) and the shared session scripts
# (session_save.lua, session_load.lua) in $ONDIX_ARDOUR_TOOLS, by default
# ../shared/tools/ardour next to the checkout.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SO=$(readlink -f "${1:-$ROOT/build/release/ondix.so}")
TOOLS=${ONDIX_ARDOUR_TOOLS:-$ROOT/../shared/tools/ardour}
SCANNER=/usr/lib/ardour7/ardour-vst-scanner

[[ -f $SO ]] || { echo "no plug-in at $SO (build it first)" >&2; exit 2; }
[[ -f $TOOLS/session_save.lua && -f $TOOLS/session_load.lua ]] ||
    { echo "no session scripts in $TOOLS (set ONDIX_ARDOUR_TOOLS)" >&2; exit 2; }
command -v ardour7-lua >/dev/null && [[ -x $SCANNER ]] ||
    { echo "Ardour 7 is missing: apt-get install -y ardour" >&2; exit 2; }

WORK=$(mktemp -d -t ondix-ardour.XXXXXX)
CACHE=
cleanup() {
    rm -rf "$WORK"
    if [[ -n $CACHE ]]; then rm -f "$CACHE"; fi
}
trap cleanup EXIT

# Ardour only uses a scanned plug-in and only trusts a scan newer than the
# binary: scan a copy dated in the past, so the build tree is left alone.
mkdir "$WORK/plugin"
cp "$SO" "$WORK/plugin/ondix.so"
touch -d "@$(($(date +%s) - 5))" "$WORK/plugin/ondix.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 "$SCANNER" -f -v "$WORK/plugin/ondix.so" >"$WORK/scan.log" 2>&1
CACHE=$(sed -n 's/.*Saved VST2 plugin cache to //p' "$WORK/scan.log" | tail -n 1)
grep -q 'is_instrument="1"' "$WORK/scan.log" || { cat "$WORK/scan.log" >&2; exit 1; }

# Prints the tags that have an automation lane after a reload, one a line.
cat >"$WORK/lanes.lua" <<'EOF'
local sdir, limit, out = arg[1], tonumber(arg[2]), arg[3]
ARDOUR.config():set_hide_dummy_backend(false)
ARDOUR.config():set_limit_n_automatables(limit)
assert(AudioEngine:set_backend("None (Dummy)", "", ""))
assert(load_session(sdir, "st"))
local proc = Session:route_by_name("Synth"):the_instrument()
local ids = {}
for p in proc:to_automatable():all_automatable_params():iter() do
  if p:type() == ARDOUR.AutomationType.PluginAutomation then ids[#ids + 1] = p:id() end
end
table.sort(ids)
local f = io.open(out, "w")
for _, id in ipairs(ids) do f:write(id, "\n") end
f:close()
close_session()
EOF

run() { LXVST_PATH="$WORK/plugin" ardour7-lua "$@" >"$WORK/last.log" 2>&1; }
ignored() { grep -c "Ignored automation data for non-automatable parameter" "$WORK/last.log" || true; }

run "$TOOLS/session_save.lua" "$WORK/st"
run "$TOOLS/session_load.lua" "$WORK/st"
reload=$(ignored)
run "$WORK/lanes.lua" "$WORK/st" 512 "$WORK/lanes-capped.txt"
capped=$(ignored)
run "$WORK/lanes.lua" "$WORK/st" 0 "$WORK/lanes-uncapped.txt"
uncapped=$(ignored)

echo "reload (session_load.lua):          $reload \"Ignored automation\" lines"
echo "lanes with Ardour's default cap:    $(wc -l <"$WORK/lanes-capped.txt") ($capped ignored lines)"
echo "lanes with the cap off:             $(wc -l <"$WORK/lanes-uncapped.txt") ($uncapped ignored lines)"
if cmp -s "$WORK/lanes-capped.txt" "$WORK/lanes-uncapped.txt"; then
    echo "ok: every automatable parameter has its automation lane"
else
    echo "FAIL: automatable parameters without a lane under the default cap:"
    grep -vxFf "$WORK/lanes-capped.txt" "$WORK/lanes-uncapped.txt" | paste -sd' ' | fmt -w 100
    exit 1
fi
