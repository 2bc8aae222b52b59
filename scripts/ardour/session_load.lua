-- Loads a session made by session_save.lua and closes it again: Ardour
-- reports on its standard output what it could not restore (for example
-- "Ignored automation data for non-automatable parameter").
-- usage: LXVST_PATH=<folder with ondix.so> ardour7-lua session_load.lua <session folder>
local folder = assert(arg[1], "usage: session_load.lua <session folder>")
ARDOUR.config():set_hide_dummy_backend(false)
assert(AudioEngine:set_backend("None (Dummy)", "", ""))
assert(load_session(folder, "st"), "cannot load the session in " .. folder)
assert(Session:route_by_name("Synth"):the_instrument(), "the session has no Synth track")
sleep(0.5)
close_session()
