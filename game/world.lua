-- The sample game: walk the island, collect the twenty gold coins, watch out for the drone that
-- patrols the sky along the path graph. A starting point for a game of your own: every engine
-- function it calls is described in docs/script-api.md.
--
-- Play keys: arrows or e/d walk and turn, s/f step aside, space jumps (rises in flight), c sinks
-- in flight, the mouse looks around, the wheel zooms; m cycles walk, car and fly; h shows the
-- help; F5 saves the game, F9 loads it; F1 switches the world editor on and off; F12 (the engine)
-- saves a screenshot; Escape opens the main menu (resume, options, quit). Started with --dev
-- (development mode), F8 reloads this script, as does saving it.

Game = {}

-- The script object types of world.dat, in the order of their type ids (tools/sample_world.txt).
initActiveObjects("Coin", "Drone")

local totalCoins = 20          -- coins that tools/sample_world.txt puts in the world
local cube = 10                -- size_one_cube of world.xml
local spawn = {x = -20, z = 34} -- the start column, in cubes: a meadow by the lake
local takeDistance = 14        -- world units between the player's feet and a coin's foot

local coinModel, droneModel, pickupSound
local isHelpShown = false
local modeNames = {[0] = "walk", [1] = "car", [2] = "fly", [3] = "none"}

-- Frame times from the millisecond clock (the engine's frame period is capped at 200 ms): a
-- smoothed one for the HUD, and a summary printed every five seconds.
local smoothedFrame = 20
local lastFrameTime, worstFrame, frameCount, lastReport = 0, 0, 0, 0

-- The drone's path graph: waypoints in the sky (world units) and the segments between them.
local waypoints = {
  {0, 260, 0}, {400, 260, 0}, {280, 260, 280}, {0, 260, 400}, {-280, 260, 280},
  {-400, 260, 0}, {-280, 260, -280}, {0, 260, -400}, {280, 260, -280},
}
local segments = {{2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 9}, {9, 2}, {1, 2}, {1, 6}, {1, 4}}
local neighbours = {}
local droneSpeed = 90          -- world units per second

-- The height (world units) of the ground of a cube column: the top of its highest cube.
local function groundHeight(x, z)
  for y = 60, -20, -1 do
    if getCubeTypeAt(x, y, z) ~= -1 then return (y + 1) * cube end
  end
  return 0
end

local function placePlayerAtSpawn()
  setPlayerMovementWalk()
  setPlayerPositionReal(spawn.x * cube + cube / 2, groundHeight(spawn.x, spawn.z) + 1, spawn.z * cube + cube / 2)
  setCameraAngleAndDistance(-12, 135, 40)
end

local function buildPathGraph()
  clearGraph()
  for i = 1, #waypoints do neighbours[i] = {} end
  for _, s in ipairs(segments) do
    local a, b = waypoints[s[1]], waypoints[s[2]]
    addSegmentInGraph(a[1], a[2], a[3], b[1], b[2], b[3])
    table.insert(neighbours[s[1]], s[2])
    table.insert(neighbours[s[2]], s[1])
  end
end

-- The waypoint nearest to the player: where the drone heads.
local function waypointNearPlayer()
  local px, _, pz = getPlayerPositionReal()
  local best, bestDistance = 1, math.huge
  for i, w in ipairs(waypoints) do
    local d = (w[1] - px) ^ 2 + (w[3] - pz) ^ 2
    if d < bestDistance then best, bestDistance = i, d end
  end
  return best
end

-- At a waypoint the drone takes the neighbour from which findPathInGraph counts the fewest
-- segments to the goal (its depth-first search finds a path, not always the shortest one).
local function nextWaypoint(from, goal)
  local best, bestLength = neighbours[from][1], math.huge
  for _, n in ipairs(neighbours[from]) do
    local g, w = waypoints[goal], waypoints[n]
    local length = findPathInGraph(w[1], w[2], w[3], g[1], g[2], g[3])
    if length >= 0 and length < bestLength then best, bestLength = n, length end
  end
  return best
end

function Game.init()
  setFogColor(150, 190, 230)
  coinModel = load3DModel("models/coin/coin.obj")
  droneModel = load3DModel("models/drone/drone.obj")
  pickupSound = loadSound("sounds/pickup.wav")
  setSoundVolume(pickupSound, 0.8)
  buildPathGraph()
  placePlayerAtSpawn()
  scheduleDrawTextCenter("Find the " .. totalCoins .. " gold coins!   (h: help)", 5000)
end

function Game.manage()
  local now = getTime()
  if lastFrameTime > 0 then
    local frame = now - lastFrameTime
    smoothedFrame = smoothedFrame * 0.9 + frame * 0.1
    if frame > worstFrame then worstFrame = frame end
  end
  lastFrameTime, frameCount = now, frameCount + 1
  if lastReport == 0 then lastReport, frameCount = now, 0 end  -- count from the first frame on
  if now - lastReport >= 5000 then
    print(string.format("frame time: mean %.1f ms, worst %d ms over %d frames",
                        (now - lastReport) / frameCount, worstFrame, frameCount))
    worstFrame, frameCount, lastReport = 0, 0, now
  end

  if getKeyNoRepeat("ASCII:256") then setEditorMode(not isEditorMode()) end  -- F1
  if isEditorMode() then return end  -- the editor has the keyboard (h is its own help there)
  if getKeyNoRepeat("h") then isHelpShown = not isHelpShown end

  if getKeyNoRepeat("ASCII:27") then startMainMenu() end  -- Escape
  if getKeyNoRepeat("m") then
    local mode = getPlayerMovementType()
    if mode == 0 then setPlayerMovementCar() elseif mode == 1 then setPlayerMovementFly() else setPlayerMovementWalk() end
    scheduleDrawTextCenter("Movement: " .. modeNames[getPlayerMovementType()], 1500)
  end
  if getKeyNoRepeat("ASCII:260") then  -- F5
    saveGame()
    scheduleDrawTextCenter("Game saved", 1500)
  end
  if getKeyNoRepeat("ASCII:264") then  -- F9
    loadGame()
    scheduleDrawTextCenter("Game loaded", 1500)
  end
  -- Fallen into the sea far from the shore, or through the world: back to the start.
  local _, y = getPlayerPositionReal()
  if y < -400 then placePlayerAtSpawn() end
end

function Game.draw3D()
end

-- Text with a dark shadow, readable on the sky and on the snow alike.
local function shadowedText(text, x, y)
  setColor(0, 0, 0, 200)
  drawText(text, x + 2, y + 2)
  setColor(255, 255, 255, 255)
  drawText(text, x, y)
end

-- The help: every key of play and of the editor, as {keys, what they do}.
local helpLines = {
  {"PLAY", ""},
  {"arrows, e / d", "walk, turn"},
  {"s / f", "step aside (not by car)"},
  {"space / c", "jump; rise / sink in flight"},
  {"mouse, wheel", "look around, zoom"},
  {"m", "walk, car, fly"},
  {"F5 / F9", "save / load the game"},
  {"F12 / F8", "screenshot / reload script (--dev)"},
  {"h, * held", "this help, frame timings"},
  {"Escape", "menu: resume, options, quit"},
  {"F1", "world editor on / off"},
  {"EDITOR", ""},
  {"arrows, PgUp/Dn", "cursor (F2: half region, F4: 8)"},
  {"space / d", "mark, then fill / empty the box"},
  {"N+p, N+s", "box, sphere of N (F5: hole)"},
  {"g, N+g, F4+g", "flat, hillside N, 8x8 heightmap"},
  {"F3+m / q / r", "modify / add / remove cube type"},
  {"F3/t + PgUp/Dn", "choose cube / object type"},
  {"v, x, F5+x", "object on ground, at cursor, global"},
  {"Del", "delete: F5 nearest, F2 region, F4 all"},
  {"i, Ctrl+S, Ctrl+L", "cursor home, save / load world"},
  {"h, mouse", "editor help; drag turns, wheel zooms"},
}

function Game.draw2D()
  local width, height = getWindowSize()
  if isEditorMode() then return end  -- the editor draws its own overlay
  local x, y, z = getPlayerPositionReal()
  shadowedText(string.format("Coins: %d / %d", getGlobalVar("coins"), totalCoins), 20, 15)
  shadowedText(string.format("%.1f FPS", 1000 / math.max(smoothedFrame, 1)), 20, 40)
  shadowedText("Mode: " .. modeNames[getPlayerMovementType()], 20, 65)
  shadowedText(string.format("Position: %d %d %d", x / cube, y / cube, z / cube), 20, 90)
  if getGlobalVar("coins") >= totalCoins then
    shadowedText("All coins found. Well done!", width / 2 - 130, 140)
  end
  if isHelpShown then
    for i, line in ipairs(helpLines) do
      shadowedText(line[1], 30, 125 + (i - 1) * 21)
      shadowedText(line[2], 265, 125 + (i - 1) * 21)
    end
  else
    shadowedText("h: help   m: walk/car/fly   Esc: menu", 20, height - 35)
  end
end

function Game.uninit()
  unload3DModel(coinModel)
  unload3DModel(droneModel)
end

-- A coin turns above its spot; coming close takes it.
Coin = {}
function Coin.load() end
function Coin.unload() end
function Coin.init() end
function Coin.manage()
  if getDistanceToPlayer() < takeDistance then
    playSound(pickupSound)
    local coins = addToGlobalVar("coins", 1)
    scheduleDrawTextCenter(coins < totalCoins and ("Coin " .. coins .. " of " .. totalCoins) or "The last coin!", 1500)
    autoDestroyCurrentObject()
  end
end
-- Regions draw coins that are not managed yet (not initialised): draw from the position alone.
function Coin.draw()
  local t = getTime()
  local x, _, z = getCurrentObjectPosition()
  move3DPosition(0, 7 + math.sin(t / 300) * 1.5, 0)
  rotatePosition(0, (t * 0.18 + x * 7 + z * 13) % 360, 0)
  draw3DModel(coinModel)
end
function Coin.uninit() end

-- The drone flies from waypoint to waypoint of the path graph, towards the player.
Drone = {}
function Drone.load() end
function Drone.unload() end
function Drone.init()
  setObjectLocalVariable("from", 1)
  setObjectLocalVariable("to", 2)
  setObjectLocalVariable("travelled", 0)
  setObjectLocalVariable("heading", 0)
end
function Drone.manage()
  local from, to = getObjectLocalVariable("from"), getObjectLocalVariable("to")
  local a, b = waypoints[from], waypoints[to]
  local length = math.sqrt((b[1] - a[1]) ^ 2 + (b[3] - a[3]) ^ 2)
  local travelled = getObjectLocalVariable("travelled") + droneSpeed * getPeriodDuration() / 1000000
  if travelled >= length then
    from, to, travelled = to, nextWaypoint(to, waypointNearPlayer()), 0
    if to == from then to = neighbours[from][1] end
    setObjectLocalVariable("from", from)
    setObjectLocalVariable("to", to)
    a, b = waypoints[from], waypoints[to]
    length = math.sqrt((b[1] - a[1]) ^ 2 + (b[3] - a[3]) ^ 2)
  end
  setObjectLocalVariable("travelled", travelled)
  setObjectLocalVariable("heading", math.deg(math.atan2(b[1] - a[1], b[3] - a[3])))
  local f = length > 0 and travelled / length or 0
  setCurrentObjectPosition(a[1] + (b[1] - a[1]) * f, a[2] + math.sin(getTime() / 500) * 4, a[3] + (b[3] - a[3]) * f)
end
function Drone.draw()
  rotatePosition(0, getObjectLocalVariable("heading"), 0)
  draw3DModel(droneModel)
end
function Drone.uninit() end
