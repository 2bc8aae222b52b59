-- A new Ardour session (Dummy backend) with Ondix on a MIDI track named
-- "Synth", every parameter moved away from its initial value, saved. The
-- values the plug-in holds when the session is saved go to <values>, one
-- "index value" a line, for session_load.lua's to be compared with.
-- usage: LXVST_PATH=<folder with ondix.so> ardour7-lua session_save.lua <new session folder> <values>
local folder, values = arg[1], arg[2]
assert(folder and values, "usage: session_save.lua <new session folder> <values>")

-- The three parameters that are commands rather than values: 0 is never
-- used, 997 asks for the stored program, 998 makes the values the loaded
-- state. Writing them would act, not set.
local commands = { [0] = true, [997] = true, [998] = true }

ARDOUR.config():set_hide_dummy_backend(false)
assert(AudioEngine:set_backend("None (Dummy)", "", ""))
assert(create_session(folder, "st", 44100), "cannot create a session in " .. folder)

local info = ARDOUR.LuaAPI.new_plugin_info("Ondix", ARDOUR.PluginType.LXVST)
assert(not info:isnil(), "Ardour has not scanned Ondix (run ardour-vst-scanner on it)")
local midi = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local stereo = ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2)
local tracks = Session:new_midi_track(midi, stereo, false, info, nil, nil, 1, "Synth",
  ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true, false)
local instrument = tracks:front():the_instrument()
local plugin = instrument:to_insert():plugin(0)

-- Values spread over 0..1 that differ from one parameter to the next.
local changed = 0
for i = 0, plugin:parameter_count() - 1 do
  if not commands[i] then
    ARDOUR.LuaAPI.set_processor_param(instrument, i, ((i * 37) % 101) / 100)
    changed = changed + 1
  end
end
sleep(0.5) -- let the plug-in settle what the writes set off
print(string.format("changed %d of %d parameters", changed, plugin:parameter_count()))
local f = assert(io.open(values, "w"))
for i = 0, plugin:parameter_count() - 1 do
  if not commands[i] then
    f:write(string.format("%d %.9g\n", i, ARDOUR.LuaAPI.get_processor_param(instrument, i, true)))
  end
end
f:close()
Session:save_state("")
close_session()
