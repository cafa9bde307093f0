-- The flyover benchmark's game (started by scripts/flyover): the player, frozen in place
-- (movement type none), is carried in a straight line along +x at FLYOVER_HEIGHT world units
-- above the water level, FLYOVER_SPEED units per second, with the camera 30 units behind it
-- and pitched 30 degrees down. The first FLYOVER_WARMUP_MS milliseconds it hovers over the
-- start so that the view around it is built; then it flies for FLYOVER_FLIGHT_MS milliseconds,
-- the frame periods of the flight are recorded, and one line sums them up before the game quits:
--   flyover: frames N median M p95 P worst W cpu C (milliseconds)
-- where C is the median processor time of a frame, all threads of the process together
-- (os.clock), which a busy machine disturbs far less than the wall time.
-- The position depends on the clock only, so every run flies the same path whatever its frame
-- rate.

Game = {}

local function setting(name, default)
  return tonumber(os.getenv(name) or "") or default
end

local warmupMs = setting("FLYOVER_WARMUP_MS", 5000)
local flightMs = setting("FLYOVER_FLIGHT_MS", 20000)
local speed = setting("FLYOVER_SPEED", 500)
local height = setting("FLYOVER_HEIGHT", 800)
local startX = setting("FLYOVER_START_X", -5000)
local startZ = setting("FLYOVER_START_Z", 0)
-- Yaw -90 looks along +x.
local pitch, yaw, cameraDistance = -30, -90, 30

local startMs = nil
local lastMs = nil
local isFlying = false
local periods = {}
local cpuPeriods = {}
local lastCpu = nil
local isDone = false

local function place(x)
  setPlayerPositionReal(x, height, startZ)
  setCameraAngleAndDistance(pitch, yaw, cameraDistance)
end

-- The element of rank ceil(q * n) of the sorted list (q = 0.5: the median).
local function quantile(sorted, q)
  local rank = math.max(1, math.ceil(q * #sorted))
  return sorted[rank]
end

local function report()
  table.sort(periods)
  table.sort(cpuPeriods)
  local n = #periods
  if n == 0 then
    print("flyover: frames 0 median 0 p95 0 worst 0 cpu 0")
    return
  end
  print(string.format("flyover: frames %d median %.2f p95 %.2f worst %.2f cpu %.2f", n,
                      quantile(periods, 0.5) / 1000, quantile(periods, 0.95) / 1000, periods[n] / 1000,
                      quantile(cpuPeriods, 0.5) / 1000))
end

function Game.init()
  setFogColor(40, 60, 90)
  setPlayerMovementNone()
  place(startX)
end

function Game.manage()
  if isDone then return end
  local now = getTime()
  local cpu = os.clock()
  if startMs == nil then startMs = now end
  local t = now - startMs
  if t < warmupMs then
    place(startX)
  else
    if isFlying then
      -- The engine caps the period it reports at 0.2 s; the clock shows longer stalls.
      local period = getPeriodDuration()
      if period >= 200000 then period = math.max(period, (now - lastMs) * 1000) end
      periods[#periods + 1] = period
      cpuPeriods[#cpuPeriods + 1] = (cpu - lastCpu) * 1000000
    else
      isFlying = true
      print("flyover: flight starts")
    end
    local flown = math.min(t - warmupMs, flightMs)
    place(startX + speed * flown / 1000)
    if t - warmupMs >= flightMs then
      report()
      isDone = true
      quitGame()
    end
  end
  lastMs = now
  lastCpu = cpu
end

function Game.draw3D()
end

function Game.draw2D()
  setColor(255, 220, 120, 255)
  drawText(string.format("%.1f FPS", 1000000 / math.max(1, getPeriodDuration())), 20, 20)
  setColor(255, 255, 255, 255)
end

function Game.uninit()
end
