-- The sample game: a title, the frame rate and a turning sprite over the world.
-- Keys: Escape or q quits, s saves the game, l loads it back, F1 switches the world editor
-- on and off.

Game = {}

local sprite = nil
local angle = 0
local smoothedPeriod = 10000

function Game.init()
  setFogColor(40, 60, 90)
  sprite = load2DSprite("images_engine/default_texture.png")
  setGlobalVar("frames", 0)
  scheduleDrawTextCenter("Welcome", 3000)
end

function Game.manage()
  addToGlobalVar("frames", 1)
  -- The frame period jumps from frame to frame: show a running average.
  smoothedPeriod = smoothedPeriod * 0.9 + getPeriodDuration() * 0.1
  angle = angle + getPeriodDuration() / 10000
  if angle >= 360 then angle = angle - 360 end

  if getKeyNoRepeat("ASCII:256") then setEditorMode(not isEditorMode()) end
  if isEditorMode() then return end  -- the editor has the keyboard
  if getKeyNoRepeat("s") then saveGame() end
  if getKeyNoRepeat("l") then loadGame() end
  if getKey("ASCII:27") or getKey("q") then quitGame() end
end

function Game.draw3D()
end

function Game.draw2D()
  local width, height = getWindowSize()
  setColor(255, 255, 255, 255)
  drawText("Cube engine", 20, 20)
  setColor(255, 220, 120, 255)
  drawText(string.format("%.1f FPS", 1000000 / smoothedPeriod), 20, 60)
  drawText("frames: " .. getGlobalVar("frames"), 20, 100)
  setColor(255, 255, 255, 255)
  -- The sprite turns about its centre.
  draw2DSprite(sprite, width / 2, height / 2, angle + 1, 32, 32)
  setColor(200, 200, 200, 255)
  if not isEditorMode() then drawText("Esc: quit   s: save   l: load   F1: editor", 20, height - 50) end
end

function Game.uninit()
  unload2DSprite(sprite)
end
