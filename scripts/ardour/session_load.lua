-- Loads a session made by session_save.lua and closes it again: Ardour
-- reports on its standard output what it could not restore (for example
-- "Ignored automation data for non-automatable parameter"). The values the
-- plug-in holds once the session is loaded go to <values> in the form
-- session_save.lua writes them, the parameters that act rather than hold a
-- value left out as there.
-- usage: LXVST_PATH=<folder with ondix.so> ardour7-lua session_load.lua <session folder> <values>
local folder, values = arg[1], arg[2]
assert(folder and values, "usage: session_load.lua <session folder> <values>")
local commands = { [0] = true, [997] = true, [998] = true }
ARDOUR.config():set_hide_dummy_backend(false)
assert(AudioEngine:set_backend("None (Dummy)", "", ""))
assert(load_session(folder, "st"), "cannot load the session in " .. folder)
local instrument = Session:route_by_name("Synth"):the_instrument()
assert(instrument and not instrument:isnil(), "the session has no Synth track")
sleep(0.5)
local plugin = instrument:to_insert():plugin(0)
local f = assert(io.open(values, "w"))
for i = 0, plugin:parameter_count() - 1 do
  if not commands[i] then
    f:write(string.format("%d %.9g\n", i, ARDOUR.LuaAPI.get_processor_param(instrument, i, true)))
  end
end
f:close()
close_session()
