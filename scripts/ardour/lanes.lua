-- Loads a session made by session_save.lua with Ardour's cap on automation
-- lanes per plug-in set to <limit> (0: no cap) and writes the parameters
-- that have a lane to <out>, one index a line.
-- usage: LXVST_PATH=<folder with ondix.so> ardour7-lua lanes.lua <session folder> <limit> <out>
local folder, limit, out = arg[1], tonumber(arg[2]), arg[3]
assert(folder and limit and out, "usage: lanes.lua <session folder> <limit> <out>")
ARDOUR.config():set_hide_dummy_backend(false)
ARDOUR.config():set_limit_n_automatables(limit)
assert(AudioEngine:set_backend("None (Dummy)", "", ""))
assert(load_session(folder, "st"), "cannot load the session in " .. folder)
local instrument = Session:route_by_name("Synth"):the_instrument()
local ids = {}
for p in instrument:to_automatable():all_automatable_params():iter() do
  if p:type() == ARDOUR.AutomationType.PluginAutomation then ids[#ids + 1] = p:id() end
end
table.sort(ids)
local f = assert(io.open(out, "w"))
for _, id in ipairs(ids) do f:write(id, "\n") end
f:close()
close_session()
