#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "scene/Player.h"
#include "shell/MainManager.h"
#include "TempDir.h"
#include "TestGame.h"

namespace {

const std::vector<std::string> scriptLines = {"Loading script", "Call game init", "==== Script file reloaded",
                                              "lua print: ", "Saving game", "Loading game"};

std::string floatBytes(float value) {
  std::string bytes(4, '\0');
  std::memcpy(&bytes[0], &value, 4);
  return bytes;
}

std::string int32Bytes(int32_t value) {
  std::string bytes(4, '\0');
  std::memcpy(&bytes[0], &value, 4);
  return bytes;
}

}  // namespace

TEST(EndToEndTest, GameCallbacksSaveAndLoadThenQuit) {
  TestGame game(R"(
Game = {}
local frame = 0
function Game.init()
  print("init")
  setGlobalVar("score", 41)
  print(addToGlobalVar("score", 1))
end
function Game.manage()
  frame = frame + 1
  print("manage " .. frame)
  if frame == 1 then
    saveGame("progress.sav")
  elseif frame == 2 then
    setGlobalVar("score", 0)
    setGlobalVar("extra", 5)
    print(getGlobalVar("score"))
    loadGame("progress.sav")
  elseif frame == 3 then
    print(getGlobalVar("score"))
    print(getGlobalVar("extra"))
    loadGame("absent.sav")
  elseif frame == 4 then
    quitGame()
  end
end
function Game.draw3D() print("draw3D " .. frame) end
function Game.draw2D() print("draw2D " .. frame) end
function Game.uninit() print("uninit") end
)");
  EXPECT_EQ(0, game.run()) << game.output << game.errors();
  const std::vector<std::string> expected = {
      "Loading script 'world.lua' ... done.",
      "Call game init ...",
      "lua print: init",
      "lua print: 42",
      "==== Script file reloaded",
      "lua print: manage 1",
      "lua print: draw3D 1",
      "lua print: draw2D 1",
      "Saving game into file progress.sav",
      "lua print: manage 2",
      "lua print: 0",
      "lua print: draw3D 2",
      "lua print: draw2D 2",
      "Loading game from file progress.sav",
      "lua print: manage 3",
      "lua print: 42",
      "lua print: 0",
      "lua print: draw3D 3",
      "lua print: draw2D 3",
      "lua print: manage 4",
      "lua print: draw3D 4",
      "lua print: draw2D 4",
      "lua print: uninit",
  };
  EXPECT_EQ(expected, game.lines(scriptLines)) << game.output;

  // The save game holds the player's 24-byte record, then the global variables as they were
  // when it was written.
  const std::string saved = readFile(game.dir.file("progress.sav"));
  ASSERT_EQ(saved.size(), 24u + 17u);
  EXPECT_EQ(std::string("\x01\x00\x00\x00\x05\x00\x00\x00score\x2a\x00\x00\x00", 17), saved.substr(24));
}

TEST(EndToEndTest, SaveAndLoadFailuresAreReportedAndTheGameGoesOn) {
  TestGame game(R"(
Game = {}
local frame = 0
function Game.init() setGlobalVar("keep", 7) end
function Game.manage()
  frame = frame + 1
  if frame == 1 then
    saveGame("no_such_dir/game.sav")
    loadGame("damaged.sav")
  elseif frame == 2 then
    print(getGlobalVar("keep"))
    quitGame()
  end
end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  // Three entries announced, one and a half present.
  game.dir.write("damaged.sav", std::string("\x03\x00\x00\x00\x01\x00\x00\x00k\x01\x00\x00\x00\x09\x00", 15));
  EXPECT_EQ(0, game.run()) << game.output << game.errors();
  EXPECT_EQ(std::vector<std::string>({"Loading game from file damaged.sav", "Saving game into file no_such_dir/game.sav",
                                      "lua print: 7"}),
            game.lines({"lua print: ", "Saving game", "Loading game"}));
  const std::string errors = game.errors();
  EXPECT_NE(std::string::npos, errors.find("ERROR : Cannot create the save game file 'no_such_dir/game.sav'")) << errors;
  EXPECT_NE(std::string::npos, errors.find("ERROR : Damaged save game file 'damaged.sav'")) << errors;
}

TEST(EndToEndTest, WithoutASoundOutputTheGameStartsSilent) {
  TestGame game(R"(
Game = {}
function Game.init() end
function Game.manage()
  local beep = loadSound("sounds/jump.wav")
  setSoundVolume(beep, 1)
  playSound(beep)
  print(isPlayingSound(beep))
  stopSound(beep)
  quitGame()
end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  EXPECT_EQ(0, game.run("ALSOFT_DRIVERS=nosuchdriver")) << game.output << game.errors();
  EXPECT_EQ(std::vector<std::string>({"lua print: 0"}), game.lines({"lua print: "}));
  const std::string errors = game.errors();
  const size_t report = errors.find("ERROR : Sound is off: no usable audio device");
  EXPECT_NE(std::string::npos, report) << errors;
  EXPECT_EQ(std::string::npos, errors.find("ERROR : ", report + 1)) << errors;
}

TEST(EndToEndTest, ObjectsOfATypeTheScriptDoesNotDefineAreKeptAndNotRun) {
  // The first script places a lamp and two doors (one global) by the player and saves the
  // world; when it finds them already there it prints their types.
  const std::string types = R"(
local function behaviour(name)
  local managed = false
  return {load = function() end, init = function() end, draw = function() end,
          uninit = function() end, unload = function() end,
          manage = function() if not managed then managed = true print(name .. " runs") end end}
end
Lamp = behaviour("Lamp")
Game = {}
local frame = 0
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
local function at(dz)
  local x, y, z = getPlayerPositionReal()
  return x, y + 5, z + dz
end
)";
  TestGame game(types + R"(
Door = behaviour("Door")
function Game.init() initActiveObjects("Lamp", "Door") end
function Game.manage()
  frame = frame + 1
  if frame == 1 and getObjectTypeAt(at(20)) == "" then
    local x, y, z = at(0)
    createObject(x, y, z, "Lamp", false)
    x, y, z = at(20)
    createObject(x, y, z, "Door", false, "first")
    x, y, z = at(40)
    createObject(x, y, z, "Door", true)
  elseif frame == 1 then
    print(getObjectTypeAt(at(0)) .. " " .. getObjectTypeAt(at(20)) .. " " .. getObjectTypeAt(at(40)))
  elseif frame == 3 then
    saveWorld()
    quitGame()
  end
end
)");
  ASSERT_EQ(0, game.run()) << game.output << game.errors();
  const std::string firstScript = readFile(game.dir.file("world.lua"));

  // A script that knows only the lamp: the game runs, the doors are neither run nor lost.
  game.dir.write("world.lua", types + R"(
function Game.init() initActiveObjects("Lamp") end
function Game.manage()
  frame = frame + 1
  if frame == 3 then
    print("door: '" .. getObjectTypeAt(at(20)) .. "'")
    saveWorld()
    quitGame()
  end
end
)");
  game.output.clear();
  EXPECT_EQ(0, game.run()) << game.output << game.errors();
  EXPECT_EQ(std::vector<std::string>({"lua print: Lamp runs", "lua print: door: ''"}), game.lines({"lua print: "}));
  const std::string errors = game.errors();
  const std::string report =
      "ERROR : The script defines no script object type id 1: its objects are kept in the world but not run\n";
  EXPECT_EQ(errors, report) << errors;

  // Back with the first script, the doors saved by the second are all there (the global one is
  // managed first).
  game.dir.write("world.lua", firstScript);
  game.output.clear();
  EXPECT_EQ(0, game.run()) << game.output << game.errors();
  EXPECT_EQ(std::vector<std::string>({"lua print: Door runs", "lua print: Lamp runs", "lua print: Lamp Door Door"}),
            game.lines({"lua print: "}));
}

TEST(EndToEndTest, AScriptErrorEndsTheProgramWithItsReport) {
  TestGame game(R"(
Game = {}
function Game.init() end
function Game.manage() error("game over") end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  EXPECT_EQ(1, game.run());
  const std::string errors = game.errors();
  EXPECT_NE(std::string::npos,
            errors.find("\nMessage: lua ('calling function Game:manage'): world.lua:4: game over\n"))
      << errors;
  EXPECT_NE(std::string::npos, errors.find("game over\nstack traceback:\n\t[C]: in function 'error'\n"
                                           "\tworld.lua:4: in function <world.lua:4>\n"))
      << errors;
  EXPECT_EQ(std::string::npos, errors.find("Condition:")) << errors;
}

TEST(EndToEndTest, TheSaveGameStartsWithThePlayerAndADamagedOneChangesNothing) {
  TestGame game(R"(
Game = {}
local frame = 0
function Game.init() setGlobalVar("keep", 7) end
function Game.manage()
  frame = frame + 1
  if frame == 2 then loadGame("damaged.sav")
  elseif frame == 3 then saveGame("after_damaged.sav")
  elseif frame == 4 then loadGame("good.sav")
  elseif frame == 5 then saveGame("after_good.sav")
  elseif frame == 6 then quitGame() end
end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  // The player at (1, 5000, 2), yaw 30, pitch 0, not moving (type 3); then the variables.
  const std::string record = floatBytes(1.f) + floatBytes(5000.f) + floatBytes(2.f) + floatBytes(30.f) +
                             floatBytes(0.f) + int32Bytes(Player::MVT_TYPE_NONE);
  const std::string variables = int32Bytes(1) + int32Bytes(1) + "k" + int32Bytes(9);
  game.dir.write("good.sav", record + variables);
  // A sound player record, then three variables announced and one and a half present.
  game.dir.write("damaged.sav", record + int32Bytes(3) + int32Bytes(1) + "k" + int32Bytes(1) + std::string("\x09\x00", 2));

  EXPECT_EQ(0, game.run()) << game.output << game.errors();
  EXPECT_NE(std::string::npos, game.errors().find("ERROR : Damaged save game file 'damaged.sav'")) << game.errors();

  // After the damaged load the player still falls from where it started, walking, and the
  // variables are the script's.
  const std::string afterDamaged = readFile(game.dir.file("after_damaged.sav"));
  ASSERT_EQ(afterDamaged.size(), 24u + 16u);
  float y;
  std::memcpy(&y, afterDamaged.data() + 4, 4);
  EXPECT_LT(y, 0.f);
  EXPECT_EQ(afterDamaged.substr(20, 4), int32Bytes(Player::MVT_TYPE_WALK));
  EXPECT_EQ(afterDamaged.substr(24), int32Bytes(1) + int32Bytes(4) + "keep" + int32Bytes(7));

  // After the good load the record comes back byte for byte, with the loaded variables.
  EXPECT_EQ(readFile(game.dir.file("after_good.sav")), record + variables);
}

namespace {

// The pixels of a binary PPM picture (as ImageMagick's import writes it) whose red, green and
// blue are exactly the colour's.
size_t countPixelsOfColour(const std::string& ppm, const unsigned char colour[3]) {
  std::istringstream header(ppm);
  std::string magic;
  int width = 0, height = 0, maxValue = 0;
  header >> magic >> width >> height >> maxValue;
  if (magic != "P6" || maxValue != 255) return 0;
  const size_t start = static_cast<size_t>(header.tellg()) + 1;
  size_t count = 0;
  for (size_t i = start; i + 2 < ppm.size(); i += 3)
    if (static_cast<unsigned char>(ppm[i]) == colour[0] && static_cast<unsigned char>(ppm[i + 1]) == colour[1] &&
        static_cast<unsigned char>(ppm[i + 2]) == colour[2])
      ++count;
  return count;
}

}  // namespace

TEST(EndToEndTest, DevelopmentModeShowsTheMistakeAndResumesWhenTheFileIsFixed) {
  // The broken script: at its fifth frame an engine report below a script call (a missing
  // sprite). The player's place is printed just before, to be compared after the reload.
  TestGame game(R"(
Game = {}
local frame = 0
function Game.init() end
function Game.manage()
  frame = frame + 1
  if frame == 5 then print(string.format("before %.3f %.3f %.3f", getPlayerPositionReal())) end
end
function Game.draw3D() end
local function showLogo()
  if frame == 5 then draw2DSprite(nil) end
end
function Game.draw2D() showLogo() end
function Game.uninit() end
)");
  game.dir.write("fixed.lua", R"(
Game = {}
local started
function Game.init() print(string.format("after %.3f %.3f %.3f", getPlayerPositionReal())) end
function Game.manage()
  if not started then started = getTime() print("running again") end
  if getTime() - started > 3000 then quitGame() end
end
function Game.draw3D() end
function Game.draw2D() end
function Game.uninit() end
)");
  // The program on a screen of its own, so that the whole screen can be read back: wait for the
  // mistake, picture it, fix the file, wait for the script to run again, picture that.
  const std::string driver = R"(
'PROGRAM' --dev >out.txt 2>err.txt </dev/null &
program=$!
waitFor() { i=0; while ! grep -q "$1" "$2" 2>/dev/null; do i=$((i+1)); [ $i -gt 1500 ] && return 1; sleep 0.02; done; }
waitFor "the script is stopped" err.txt || { kill $program; exit 3; }
sleep 1
import -window root -depth 8 error.ppm
cp fixed.lua world.lua
date +%s%N >fixed.time
waitFor "running again" out.txt || { kill $program; exit 4; }
date +%s%N >resumed.time
sleep 1
import -window root -depth 8 running.ppm
wait $program
)";
  std::string script = driver;
  script.replace(script.find("PROGRAM"), 7, ENGINE_PROGRAM);
  game.dir.write("drive.sh", script);
  const std::string command = "cd '" + game.dir.path() +
                              "' && timeout 120 xvfb-run -a -s '-screen 0 1024x768x24 -noreset' sh drive.sh 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  size_t n;
  std::string shellOutput;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) shellOutput.append(buffer, n);
  const int status = pclose(pipe);
  const std::string output = readFile(game.dir.file("out.txt"));
  const std::string errors = readFile(game.dir.file("err.txt"));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shellOutput << output << errors;

  // The mistake printed once: the report, the function, the script's line and the traceback.
  const std::string notice = "Development mode: the script is stopped";
  EXPECT_EQ(errors.find(notice), errors.rfind(notice)) << errors;
  EXPECT_NE(std::string::npos, errors.find("Condition: spritep != 0\nScript function: draw2DSprite\nCalled from: "
                                           "world.lua:11\nstack traceback:\n\t[C]: in function 'draw2DSprite'\n"
                                           "\tworld.lua:11: in function 'showLogo'\n"))
      << errors;
  EXPECT_EQ(std::string::npos, errors.find("The program aborted")) << errors;

  // On screen: the error panel over the frame, gone once the script runs again.
  const unsigned char* panel = MainManager::errorPanelColour;
  EXPECT_GT(countPixelsOfColour(readFile(game.dir.file("error.ppm")), panel), 800u * 40u);
  EXPECT_EQ(0u, countPixelsOfColour(readFile(game.dir.file("running.ppm")), panel));

  // Running again within two seconds of the fix, the player where the mistake left it, in the
  // same run of the program.
  const long long fixedAt = std::stoll(readFile(game.dir.file("fixed.time")));
  const long long resumedAt = std::stoll(readFile(game.dir.file("resumed.time")));
  EXPECT_LT(resumedAt - fixedAt, 2000000000LL);
  std::vector<std::string> kept;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);)
    if (line.find("lua print: ") == 0 || line.find("==== Reload script file") == 0) kept.push_back(line);
  ASSERT_EQ(5u, kept.size()) << output;
  EXPECT_EQ("==== Reload script file", kept[0]);
  EXPECT_EQ("==== Reload script file", kept[2]);
  EXPECT_EQ(kept[1].substr(std::string("lua print: before").size()), kept[3].substr(std::string("lua print: after").size()));
  EXPECT_EQ("lua print: running again", kept[4]);
}
