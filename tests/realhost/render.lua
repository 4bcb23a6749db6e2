-- Runs inside ardour7-lua: a session on the dummy backend whose inputs carry
-- a steady DC level; track "fx" runs the plug-in on that input, track "cap"
-- records fx's output while the transport rolls from bar 1. fx itself records
-- its (pre-plug-in) input, so the exact input is known too.
--
-- Environment: RH_SESSION (new session folder), RH_TEMPO (BPM), RH_BARS,
-- RH_PARAMS (slot|name|value lines), RH_SPEED (dummy backend driver name),
-- RH_RATE, RH_BLOCK, RH_FORMAT ("vst": the VST 2 library from the scan
-- cache, the default; "lv2": the LV2 plug-in of RH_URI; "vst3": the VST3
-- class RH_VST3_NAME from the scan cache).

local function env(name, default)
  local v = os.getenv(name)
  if v == nil or v == "" then
    if default == nil then error("missing " .. name) end
    return default
  end
  return v
end

local session_dir = env("RH_SESSION")
local tempo = tonumber(env("RH_TEMPO"))
local bars = tonumber(env("RH_BARS", "4"))
local rate = tonumber(env("RH_RATE", "48000"))
local block = tonumber(env("RH_BLOCK", "256"))
local speed = env("RH_SPEED", "5x Speed")
local TRS = ARDOUR.TransportRequestSource.TRS_UI
local NoGroup = PBD.GroupControlDisposition.NoGroup

local function fail(msg)
  print("RH-ERROR " .. msg)
  os.exit(3)
end

local be = AudioEngine:set_backend("None (Dummy)", "", "")
if be == nil then fail("no dummy backend") end
if be:set_driver(speed) ~= 0 then fail("driver " .. speed) end
if be:set_device_name("DC -6dBFS (+.5)") ~= 0 then fail("dummy DC device") end
if be:set_buffer_size(block) ~= 0 then fail("buffer size") end
if not create_session(session_dir, "realhost", rate) then fail("create_session") end
print(string.format("RH-INFO backend '%s' '%s' block %d rate %d",
  be:driver_name(), be:device_name(), be:buffer_size(), Session:sample_rate()))
Session:cfg():set_native_file_data_format(ARDOUR.SampleFormat.Float)

-- One tempo for the whole song, 4/4.
local tm = Temporal.TempoMap.fetch_writable()
tm:set_tempo(Temporal.Tempo(tempo, tempo, 4), Temporal.timepos_t(0))
Temporal.TempoMap.update(tm)
local qpm = Temporal.TempoMap.read():quarters_per_minute_at(Temporal.timepos_t(0))
print("RH-INFO tempo " .. qpm)

local fx = Session:new_audio_track(2, 2, nil, 1, "fx", -1, ARDOUR.TrackMode.Normal, true, true):front()
-- No automatic input connection for cap: Ardour makes those on a thread of
-- its own, and a late one would mix the backend's input into the recording.
local cap = Session:new_audio_track(2, 2, nil, 1, "cap", -1, ARDOUR.TrackMode.Normal, false, true):front()

-- Where Ardour keeps a parameter slot: the index of its label, its parameter
-- number and its automation port. A VST 2 plug-in's are the slot itself; an
-- LV2 plug-in's are its control ports, which Ardour counts from 0 for
-- parameters (slot N is parameter N - 1) and by port index for labels and
-- automation (the four audio ports and the time port come first). A VST3
-- plug-in's are the order of its controller's parameter list without the
-- program-change parameter: slot N (ID N) is N - 1 for all three.
local format = env("RH_FORMAT", "vst")
local proc, places
if format == "lv2" then
  local uri = env("RH_URI", "urn:plonkrift:plonkrift6v2")
  proc = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
  if proc:isnil() then fail("LV2 plug-in " .. uri .. " not found (LV2_PATH)") end
  places = function(slot) return slot + 4, slot - 1, slot + 4 end
elseif format == "vst" then
  proc = ARDOUR.LuaAPI.new_plugin(Session, "plonkrift6v2", ARDOUR.PluginType.LXVST, "")
  if proc:isnil() then fail("plug-in plonkrift6v2 not found (LXVST_PATH / scan cache)") end
  places = function(slot) return slot, slot, slot end
elseif format == "vst3" then
  local name = env("RH_VST3_NAME", "plonkrift6")
  proc = ARDOUR.LuaAPI.new_plugin(Session, name, ARDOUR.PluginType.VST3, "")
  if proc:isnil() then fail("VST3 plug-in " .. name .. " not found (VST3_PATH / scan cache)") end
  places = function(slot) return slot - 1, slot - 1, slot - 1 end
else
  fail("RH_FORMAT must be vst, lv2 or vst3, not " .. format)
end

-- Parameters through the host, then read back through the host, before the
-- plug-in joins the track. A field "@N" adds host automation instead: 0 until
-- song sample N, the value after.
local pf = io.open(env("RH_PARAMS"), "r")
if pf == nil then fail("cannot read " .. env("RH_PARAMS")) end
local set, automated, automation = 0, 0, {}
for line in pf:lines() do
  local slot, name, val, rest = line:match("^(%d+)|([^|]+)|([%d%.]+)(.*)$")
  if slot then
    val = tonumber(val)
    local labelled, idx, port = places(tonumber(slot))
    local label = proc:to_insert():plugin(0):parameter_label(labelled)
    if label ~= name then fail(string.format("parameter %s is '%s', expected '%s'", slot, label, name)) end
    local at = rest:match("^|@(%d+)%s*$")
    if at then
      if not ARDOUR.LuaAPI.set_processor_param(proc, idx, 0) then fail("set parameter " .. name) end
      local al, cl, pd = ARDOUR.LuaAPI.plugin_automation(proc, idx)
      if al:isnil() then fail("no automation for " .. name) end
      cl:add(Temporal.timepos_t(0), 0, false, false)
      cl:add(Temporal.timepos_t(tonumber(at) - 1), 0, false, false)
      cl:add(Temporal.timepos_t(tonumber(at)), val, false, false)
      local ac = proc:to_automatable():automation_control(
        Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, port), false)
      if ac:isnil() then fail("no automation control for " .. name) end
      ac:set_automation_state(ARDOUR.AutoState.Play)
      automated = automated + 1
      table.insert(automation, { idx = idx, name = name, val = val })
      val = 0 -- where the transport stands now
    elseif rest:match("%S") then
      fail("cannot read parameter line: " .. line)
    else
      if not ARDOUR.LuaAPI.set_processor_param(proc, idx, val) then fail("set parameter " .. name) end
    end
    local back = ARDOUR.LuaAPI.get_processor_param(proc, idx)
    if math.abs(back - val) > 1e-6 then fail(string.format("parameter %s reads %g, expected %g", name, back, val)) end
    set = set + 1
  end
end
pf:close()
print("RH-INFO parameters set " .. set .. ", of them automated " .. automated)

-- Only now does the plug-in start running (the engine runs it while the
-- transport stands still): it never ran with other values than those above.
if fx:add_processor_by_index(proc, 0, nil, true) ~= 0 then fail("add_processor_by_index") end

-- fx's output straight into cap's input; no panner between, so cap records
-- exactly what the plug-in wrote (the fader is at unity).
fx:panner_shell():set_bypassed(true)
ARDOUR.LuaAPI.usleep(200000)
cap:input():disconnect_all(nil)
for i = 0, 1 do
  if cap:input():audio(i):connect(fx:output():audio(i):name()) ~= 0 then fail("connect cap input " .. i) end
end
ARDOUR.LuaAPI.usleep(100000)
local _, t = Session:engine():get_backend_ports("", ARDOUR.DataType("audio"), ARDOUR.PortFlags.IsOutput | ARDOUR.PortFlags.IsPhysical, C.StringVector())
local physical = 0
for i = 0, 1 do
  local port = cap:input():audio(i)
  if not port:connected_to(fx:output():audio(i):name()) then fail("cap input " .. i .. " is not connected to fx") end
  for n in t[4]:iter() do
    if port:connected_to(n) then fail("cap input " .. i .. " is also connected to " .. n) end
    physical = physical + 1
  end
end
if physical == 0 then fail("the backend lists no physical inputs") end
fx:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput, NoGroup)
fx:rec_enable_control():set_value(1, NoGroup)
cap:rec_enable_control():set_value(1, NoGroup)
Session:maybe_enable_record(false)
ARDOUR.LuaAPI.usleep(100000)

-- Roll from bar 1 for the song plus one beat, then stop.
local beat = rate * 60 / tempo
local stop_at = math.ceil(beat * (4 * bars + 1))
local t0 = ARDOUR.LuaAPI.monotonic_time()
Session:request_roll(TRS)
local deadline = t0 + 1e6 * (10 + 4 * bars * 60 / tempo * 2)
while Session:transport_sample() < stop_at do
  if ARDOUR.LuaAPI.monotonic_time() > deadline then fail("transport did not reach the end in time") end
  ARDOUR.LuaAPI.usleep(5000)
end
Session:request_stop(false, false, TRS)
while Session:transport_rolling() do ARDOUR.LuaAPI.usleep(5000) end
print(string.format("RH-INFO rolled %.2f s wall clock to sample %d", (ARDOUR.LuaAPI.monotonic_time() - t0) / 1e6,
  Session:transport_sample()))
ARDOUR.LuaAPI.usleep(200000)

-- The automated parameters stand at their values past the automation points.
for _, a in ipairs(automation) do
  local now = ARDOUR.LuaAPI.get_processor_param(proc, a.idx)
  if math.abs(now - a.val) > 1e-6 then fail(string.format("automated %s reads %g after the roll, expected %g", a.name, now, a.val)) end
end

for _, t in ipairs({ fx, cap }) do
  for r in t:playlist():region_list():iter() do
    local ar = r:to_audioregion()
    for c = 0, ar:n_channels() - 1 do
      local src = ar:source(c):to_filesource()
      print(string.format("RH-REGION %s %d %d %d %d %s", t:name(), c, r:position():samples(), r:start():samples(),
        r:length():samples(), src:path()))
    end
  end
end
Session:save_state("", false, false, false, false, false)
print("RH-DONE")
